#include "platform/shared_memory.h"

#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/error.h"
#include "platform/posix/errno_map.h"
#include "platform/posix/shared_memory_file.h"

namespace platform {

SharedMemory::~SharedMemory() { Close(); }

bool SharedMemory::CreateOrOpen(const std::string& name, size_t size) {
  Close();
  if (size == 0) {
    SetLastSystemError(kErrorInvalidParameter);
    return false;
  }
  bool existed = false;
  int fd = named_object::Open("section", name, named_object::OpenMode::kCreateOrOpen, &path_,
                              &existed);
  if (fd < 0) return false;
  struct stat st;
  if (fstat(fd, &st) != 0 ||
      (static_cast<size_t>(st.st_size) < size && ftruncate(fd, static_cast<off_t>(size)) != 0)) {
    FailWithErrno();
    named_object::Close(fd, path_);
    return false;
  }
  handle_ = fd;
  size_ = size;
  existed_ = existed;
  return true;
}

void* SharedMemory::Map() {
  if (handle_ < 0) {
    SetLastSystemError(kErrorInvalidHandle);
    return nullptr;
  }
  if (view_ == nullptr) {
    void* view = mmap(nullptr, size_, PROT_READ | PROT_WRITE, MAP_SHARED, handle_, 0);
    if (view == MAP_FAILED) {
      FailWithErrno();
      return nullptr;
    }
    view_ = view;
  }
  return view_;
}

void SharedMemory::Unmap() {
  if (view_ != nullptr) munmap(view_, size_);
  view_ = nullptr;
}

void SharedMemory::Close() {
  Unmap();
  named_object::Close(handle_, path_);
  handle_ = -1;
  size_ = 0;
  existed_ = false;
}

}  // namespace platform
