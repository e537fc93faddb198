// Splits a pattern into tokens. Works on its own copy of the pattern, so the
// caller's text may change or go away while the compiler runs.
#pragma once
#include <cstdint>
#include <string>

#include "pcroom/regex/token.h"

namespace kivro {

class PatternScanner {
 public:
  explicit PatternScanner(std::string pattern) : pattern_(std::move(pattern)) {}

  // The next token; throws REXA_Exception on an unclosed bracket expression.
  Token Next();

 private:
  bool AtEnd() const { return pos_ >= pattern_.size(); }
  uint8_t Peek(size_t ahead = 0) const {
    return pos_ + ahead < pattern_.size() ? uint8_t(pattern_[pos_ + ahead]) : 0;
  }
  // Reads the escape whose backslash is at pos_; leaves pos_ after it.
  uint8_t ReadEscape();
  void ReadBracket(Token& token);

  std::string pattern_;
  size_t pos_ = 0;
};

}  // namespace kivro
