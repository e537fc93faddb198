// errno -> the system's error numbering (POSIX backend only).
#pragma once
#include <cerrno>

#include "platform/error.h"

namespace platform {

inline int32_t ErrorFromErrno(int e) {
  switch (e) {
    case 0: return kErrorSuccess;
    case ENOENT: return kErrorFileNotFound;
    case ENOTDIR: return kErrorPathNotFound;
    case EMFILE: case ENFILE: return kErrorTooManyOpenFiles;
    case EACCES: case EPERM: case EROFS: return kErrorAccessDenied;
    case EBADF: return kErrorInvalidHandle;
    case ENOMEM: return kErrorNotEnoughMemory;
    case EEXIST: return kErrorAlreadyExists;
    case ENOSPC: case EDQUOT: return kErrorDiskFull;
    case ENAMETOOLONG: return kErrorFilenameExcedRange;
    case ENOTEMPTY: return kErrorDirNotEmpty;
    case EINVAL: return kErrorInvalidParameter;
    case EBUSY: case ETXTBSY: return kErrorSharingViolation;
    case EIO: return kErrorWriteFault;
    case ETIMEDOUT: return kErrorTimeout;
    case ELOOP: return kErrorStoppedOnSymlink;  // O_NOFOLLOW met a link
    default: return kErrorInvalidParameter;
  }
}

// Records errno as the thread's last system error and returns false.
inline bool FailWithErrno() {
  SetLastSystemError(ErrorFromErrno(errno));
  return false;
}

}  // namespace platform
