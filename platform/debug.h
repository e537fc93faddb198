// Debugger output: written to stderr when KIVRO_TRACE is set, else dropped.
#pragma once

// The C99 formats (%zu, %lld) on every backend: mingw-w64's printf family
// follows C99 (__USE_MINGW_ANSI_STDIO), where GCC's plain "printf" check
// would follow the Microsoft runtime.
#if defined(__MINGW32__) && !defined(__clang__)
#define KIVRO_PRINTF_FORMAT(f, a) __attribute__((format(gnu_printf, f, a)))
#else
#define KIVRO_PRINTF_FORMAT(f, a) __attribute__((format(printf, f, a)))
#endif

namespace platform {

void OutputDebugText(const char* text);
// printf-style; the line is cut at 1023 characters.
void DebugPrintf(const char* format, ...) KIVRO_PRINTF_FORMAT(1, 2);

}  // namespace platform
