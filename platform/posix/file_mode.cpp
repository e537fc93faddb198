#include "platform/file_mode.h"

#include <sys/stat.h>

#include "platform/paths.h"
#include "platform/posix/errno_map.h"

namespace platform {

bool AddExecuteBits(const std::string& path, uint32_t posix_mode) {
  mode_t exec = static_cast<mode_t>(posix_mode) & (S_IXUSR | S_IXGRP | S_IXOTH);
  if (exec == 0) return true;
  std::string posix = ToPosixPath(path);
  struct stat st;
  if (stat(posix.c_str(), &st) != 0) return FailWithErrno();
  mode_t mode = (st.st_mode & 07777) | exec;
  return chmod(posix.c_str(), mode) == 0 || FailWithErrno();
}

bool GetPermissionBits(const std::string& path, uint32_t* posix_mode) {
  struct stat st;
  if (stat(ToPosixPath(path).c_str(), &st) != 0) return FailWithErrno();
  *posix_mode = static_cast<uint32_t>(st.st_mode & 07777);
  return true;
}

bool KeepsExecuteBits() { return true; }

}  // namespace platform
