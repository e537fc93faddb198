// Test support: the system the tests run on, for the tests that say what
// each backend must do where Windows differs by nature (its own registry,
// components and desktop against the POSIX emulation's empty machine).
#pragma once

namespace platform::testing_support {

#if defined(_WIN32)
inline constexpr bool kOnWindows = true;
#else
inline constexpr bool kOnWindows = false;
#endif

}  // namespace platform::testing_support
