// Win32 failures -> the thread's last system error (Windows backend only).
// The system stores errors in the Windows numbering, so GetLastError values
// pass through unchanged; they are copied at the edge so that a later
// successful Win32 call (which may touch GetLastError) cannot change them.
#pragma once
#include <windows.h>

#include "platform/error.h"

namespace platform {

// Records GetLastError() as the thread's last system error; returns false.
inline bool FailWithLastError() {
  DWORD code = ::GetLastError();
  SetLastSystemError(code == ERROR_SUCCESS ? kErrorInvalidParameter : static_cast<int32_t>(code));
  return false;
}

// Records `code` as the thread's last system error; returns false.
inline bool FailWith(int32_t code) {
  SetLastSystemError(code);
  return false;
}

}  // namespace platform
