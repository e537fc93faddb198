#include "platform/named_mutex.h"

#include "platform/error.h"
#include "platform/posix/shared_memory_file.h"

namespace platform {

NamedMutex::~NamedMutex() { Close(); }

bool NamedMutex::Create(const std::string& name, bool* already_existed) {
  Close();
  bool existed = false;
  if (!name.empty()) {
    handle_ = named_object::Open("mutex", name, named_object::OpenMode::kCreateOrOpen, &path_,
                             &existed);
    if (handle_ < 0) return false;
  }
  if (already_existed) *already_existed = existed;
  open_ = true;
  return true;
}

bool NamedMutex::OpenExisting(const std::string& name) {
  Close();
  if (name.empty()) {
    SetLastSystemError(kErrorFileNotFound);
    return false;
  }
  bool existed = false;
  handle_ = named_object::Open("mutex", name, named_object::OpenMode::kOpenExisting, &path_, &existed);
  open_ = handle_ >= 0;
  return open_;
}

void NamedMutex::Close() {
  named_object::Close(handle_, path_);
  handle_ = -1;
  open_ = false;
}

}  // namespace platform
