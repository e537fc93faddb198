// Test support: the system the tests run on, for the tests that say what
// each backend must do where Windows differs by nature (its own registry,
// components and desktop against the POSIX emulation's empty machine).
#pragma once
#include "platform/dynlib.h"
#include "platform/paths.h"

namespace platform::testing_support {

#if defined(_WIN32)
inline constexpr bool kOnWindows = true;
#else
inline constexpr bool kOnWindows = false;
#endif

// Whether the Windows system is Wine (its ntdll tells its version), for the
// few answers where Wine differs from Windows; false on POSIX.
inline bool UnderWine() {
  if (!kOnWindows) return false;
  DynamicLibrary ntdll;
  return ntdll.Load(SystemDirectory() + "\\ntdll.dll") && ntdll.Find("wine_get_version") != nullptr;
}

}  // namespace platform::testing_support
