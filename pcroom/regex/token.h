// Tokens of the pattern language. The codes are bit values so that a parser
// could test a token against a set of expected ones with one mask.
#pragma once
#include <string>

#include "pcroom/regex/byte_set.h"

namespace kivro {

enum TokenCode : int {
  kTokenEnd = 1,
  kTokenIllegal = 2,  // never produced; kept for its display name
  kTokenName = 4,
  kTokenStar = 32,
  kTokenPlus = 64,
  kTokenEqual = 128,
  kTokenQuestion = 256,
  kTokenBar = 512,
  kTokenCharSet = 1024,
  kTokenOpen = 2048,
  kTokenClose = 4096,
  kTokenCasePostfix = 8192,
};

struct Token {
  int code = kTokenEnd;
  int offset = 0;    // where the token starts in the pattern
  int length = 0;    // bytes of the pattern it spans
  ByteSet set;       // kTokenCharSet: its members
  std::string text;  // kTokenName: the reference as written, '$' included
};

// The name used in error messages; a character set shows its source text.
std::string TokenDisplayName(int code, const std::string& source_text = std::string());

}  // namespace kivro
