// System error values, in the numbering the rest of the system stores in its
// last-error record (the Windows GetLastError numbering). Every platform call
// that fails sets the calling thread's value; a call that succeeds leaves it
// alone, as on Windows.
#pragma once
#include <cstdint>

namespace platform {

enum SystemError : int32_t {
  kErrorSuccess = 0,
  kErrorFileNotFound = 2,
  kErrorPathNotFound = 3,
  kErrorTooManyOpenFiles = 4,
  kErrorAccessDenied = 5,
  kErrorInvalidHandle = 6,
  kErrorNotEnoughMemory = 8,
  kErrorWriteFault = 29,
  kErrorReadFault = 30,
  kErrorSharingViolation = 32,
  kErrorHandleEof = 38,
  kErrorNotSupported = 50,
  kErrorFileExists = 80,
  kErrorInvalidParameter = 87,
  kErrorDiskFull = 112,
  kErrorInsufficientBuffer = 122,
  kErrorInvalidName = 123,
  kErrorModNotFound = 126,
  kErrorProcNotFound = 127,
  kErrorDirNotEmpty = 145,
  kErrorAlreadyExists = 183,
  kErrorStoppedOnSymlink = 681,  // a link stood where a change below a folder had to go
  kErrorFilenameExcedRange = 206,
  kErrorTimeout = 1460,
  kErrorInternetTimeout = 12002,
  kErrorInternetInternalError = 12004,
  kErrorInternetInvalidUrl = 12005,
  kErrorInternetNameNotResolved = 12007,
  kErrorInternetConnectionAborted = 12030,
  kErrorInternetConnectionReset = 12031,
  kErrorInternetCannotConnect = 12029,
};

// The calling thread's last system error value.
int32_t GetLastSystemError();
void SetLastSystemError(int32_t value);

}  // namespace platform
