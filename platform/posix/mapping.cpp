#include "platform/mapping.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/error.h"
#include "platform/paths.h"
#include "platform/posix/errno_map.h"

namespace platform {

size_t ReadOnlyMapping::Granularity() {
  static const size_t page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
  return page;
}

ReadOnlyMapping::~ReadOnlyMapping() { Close(); }

bool ReadOnlyMapping::Open(const std::string& path) {
  Close();
  fd_ = open(ToPosixPath(path).c_str(), O_RDONLY | O_CLOEXEC);
  if (fd_ < 0) return FailWithErrno();
  struct stat st;
  if (fstat(fd_, &st) != 0 || S_ISDIR(st.st_mode)) {
    if (S_ISDIR(st.st_mode)) SetLastSystemError(kErrorAccessDenied);
    else FailWithErrno();
    Close();
    return false;
  }
  size_ = static_cast<uint64_t>(st.st_size);
  return true;
}

void ReadOnlyMapping::Unmap() {
  if (base_ != nullptr) munmap(base_, base_length_);
  base_ = nullptr;
  base_length_ = 0;
}

void ReadOnlyMapping::Close() {
  Unmap();
  if (fd_ >= 0) close(fd_);
  fd_ = -1;
  size_ = 0;
}

const uint8_t* ReadOnlyMapping::MapWindow(uint64_t offset, size_t length) {
  Unmap();
  if (fd_ < 0) {
    SetLastSystemError(kErrorInvalidHandle);
    return nullptr;
  }
  if (offset >= size_ || length == 0) {
    SetLastSystemError(kErrorHandleEof);
    return nullptr;
  }
  if (length > size_ - offset) length = static_cast<size_t>(size_ - offset);
  uint64_t aligned = offset - offset % Granularity();
  size_t delta = static_cast<size_t>(offset - aligned);
  void* p = mmap(nullptr, length + delta, PROT_READ, MAP_PRIVATE, fd_, static_cast<off_t>(aligned));
  if (p == MAP_FAILED) {
    FailWithErrno();
    return nullptr;
  }
  madvise(p, length + delta, MADV_SEQUENTIAL);
  base_ = p;
  base_length_ = length + delta;
  return static_cast<const uint8_t*>(p) + delta;
}

}  // namespace platform
