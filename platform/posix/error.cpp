#include "platform/error.h"

namespace platform {

namespace {
thread_local int32_t t_last_error = 0;
}

int32_t GetLastSystemError() { return t_last_error; }
void SetLastSystemError(int32_t value) { t_last_error = value; }

}  // namespace platform
