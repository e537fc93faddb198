#include "platform/error.h"

namespace platform {

namespace {
// Kept apart from GetLastError, which successful Win32 calls may change.
thread_local int32_t t_last_error = 0;
}  // namespace

int32_t GetLastSystemError() { return t_last_error; }
void SetLastSystemError(int32_t value) { t_last_error = value; }

}  // namespace platform
