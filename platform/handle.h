// The handle of an open object as the backend keeps it: a descriptor on
// POSIX, a HANDLE or SOCKET on Windows. Callers only hold it; its value
// means nothing outside the backend.
#pragma once
#include <cstdint>

namespace platform {

using NativeHandle = intptr_t;
// No object (a closed descriptor; INVALID_HANDLE_VALUE and INVALID_SOCKET
// on Windows are this value too).
inline constexpr NativeHandle kNoHandle = -1;

}  // namespace platform
