// The answer of REXI_Base::SetPattern.
#pragma once
#include <string>

namespace kivro {

struct CompileResult {
  enum Code { kCompiled = 0, kSyntaxError = 2 };
  int code = kCompiled;
  std::string message;  // empty when compiled
  int position = 0;     // offset of the offending token; 0 when compiled
};

}  // namespace kivro
