// A syntax error found while compiling a pattern. It travels only inside the
// pattern compiler; SetPattern turns it into a CompileResult.
#pragma once
#include <string>

namespace kivro {

struct REXA_Exception {
  std::string message;
  int position = 0;  // offset in the pattern of the token where it was found
};

}  // namespace kivro
