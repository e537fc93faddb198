#include "platform/dynlib.h"

#include <dlfcn.h>
#include <limits.h>
#include <stdlib.h>

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

std::string ModulePathOf(const void* address) {
  Dl_info info{};
  if (address == nullptr || dladdr(address, &info) == 0 || info.dli_fname == nullptr ||
      info.dli_fname[0] == '\0')
    return "";
  // The loader keeps the name it was given, which may be relative.
  char resolved[PATH_MAX];
  if (realpath(info.dli_fname, resolved) == nullptr) return "";
  return ToWindowsPath(resolved);
}

}  // namespace platform
