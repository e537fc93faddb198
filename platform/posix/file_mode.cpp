#include "platform/file_mode.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/paths.h"
#include "platform/posix/errno_map.h"

namespace platform {

bool AddExecuteBits(const std::string& path, uint32_t posix_mode) {
  mode_t exec = static_cast<mode_t>(posix_mode) & (S_IXUSR | S_IXGRP | S_IXOTH);
  if (exec == 0) return true;
  std::string posix = ToPosixPath(path);
  // chmod follows a link at the name: the file is opened without following
  // one (O_NOFOLLOW fails with ELOOP on a link) and changed through its
  // handle. A file we may not read is opened for writing instead; O_NONBLOCK
  // keeps a FIFO at the name from holding the open.
  const int flags = O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC;
  int fd = open(posix.c_str(), O_RDONLY | flags);
  if (fd < 0 && errno == EACCES) fd = open(posix.c_str(), O_WRONLY | flags);
  if (fd < 0) return FailWithErrno();
  struct stat st;
  bool ok = (fstat(fd, &st) == 0 && fchmod(fd, (st.st_mode & 07777) | exec) == 0) || FailWithErrno();
  close(fd);
  return ok;
}

bool GetPermissionBits(const std::string& path, uint32_t* posix_mode) {
  struct stat st;
  if (stat(ToPosixPath(path).c_str(), &st) != 0) return FailWithErrno();
  *posix_mode = static_cast<uint32_t>(st.st_mode & 07777);
  return true;
}

bool KeepsExecuteBits() { return true; }

}  // namespace platform
