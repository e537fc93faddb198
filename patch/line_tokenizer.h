// Splits one line of a patch list into tokens. The rules, quirks included,
// are those of the lists our publishing tools have always produced: a token
// must be followed by a separator, so the last field of a final line without
// a line feed is lost.
#pragma once
#include <cstdint>
#include <string>

namespace kivro {

class LineTokenizer {
 public:
  // Stores the text without its leading and trailing carriage returns (the
  // line feed stays) and rewinds.
  void SetLine(const char* text);

  // Reads the next token into `token`. A token ends at NUL, tab, line feed,
  // carriage return or comma, and also at a space when `space_separates`.
  // Fails, leaving `token` and the position alone, when the text ends before
  // such a character.
  bool NextToken(bool space_separates, std::string* token);
  // A token read with spaces separating, without trailing commas.
  bool NextValue(std::string* value);

  void Rewind() { position = 0; }

  std::string line;
  int32_t position = 0;
};

// Decimal number of a list field as the C library's atol reads it (leading
// blanks, a sign, digits up to the first other character; 0 when there are
// none), kept modulo 2^32 so that unsigned values above 2^31 - 1, such as the
// byte sums of large files, survive whole.
uint32_t ListNumber(const std::string& text);

}  // namespace kivro
