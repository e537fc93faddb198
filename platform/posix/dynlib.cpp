#include "platform/dynlib.h"

#include <dlfcn.h>

#include "platform/error.h"
#include "platform/paths.h"

namespace platform {

DynamicLibrary::~DynamicLibrary() { Unload(); }

bool DynamicLibrary::Load(const std::string& windows_path) {
  Unload();
  std::string posix = ToPosixPath(windows_path);
  // A path with a '/' is never searched for by the loader.
  if (posix.find('/') == std::string::npos) posix = "./" + posix;
  handle_ = dlopen(posix.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle_ == nullptr) {
    const char* message = dlerror();
    error_ = message ? message : "cannot load";
    SetLastSystemError(kErrorModNotFound);
    return false;
  }
  error_.clear();
  return true;
}

void DynamicLibrary::Unload() {
  if (handle_ != nullptr) dlclose(handle_);
  handle_ = nullptr;
}

void* DynamicLibrary::Find(const char* name) const {
  if (handle_ == nullptr) {
    SetLastSystemError(kErrorInvalidHandle);
    return nullptr;
  }
  void* address = dlsym(handle_, name);
  if (address == nullptr) SetLastSystemError(kErrorProcNotFound);
  return address;
}

}  // namespace platform
