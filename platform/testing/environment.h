// Test support: variables of the test program's own environment, set and
// removed the same way on every backend (getenv and the programs it starts
// see them).
#pragma once
#include <cstdlib>

namespace platform::testing_support {

inline void SetTestVariable(const char* name, const char* value) {
#if defined(_WIN32)
  _putenv_s(name, value);
#else
  setenv(name, value, 1);
#endif
}

inline void UnsetTestVariable(const char* name) {
#if defined(_WIN32)
  _putenv_s(name, "");  // an empty value removes the variable there
#else
  unsetenv(name);
#endif
}

}  // namespace platform::testing_support
