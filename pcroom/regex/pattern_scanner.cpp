#include "pcroom/regex/pattern_scanner.h"

#include "pcroom/regex/rexa_exception.h"

namespace kivro {

namespace {

// The C locale's classes, spelled out so that no locale setting of the
// process changes what a pattern means.
bool IsBlank(uint8_t c) { return c == ' ' || (c >= '\t' && c <= '\r'); }
bool IsLetter(uint8_t c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool IsDigit(uint8_t c) { return c >= '0' && c <= '9'; }
int HexValue(uint8_t c) {
  if (IsDigit(c)) return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

std::string TokenDisplayName(int code, const std::string& source_text) {
  switch (code) {
    case kTokenEnd: return "end of string";
    case kTokenIllegal: return "illegal character";
    case kTokenStar: return "*";
    case kTokenPlus: return "+";
    case kTokenEqual: return "=";
    case kTokenQuestion: return "?";
    case kTokenBar: return "|";
    case kTokenCharSet: return source_text;
    case kTokenOpen: return "(";
    case kTokenClose: return ")";
    default: return std::string();  // names and the case postfix have none
  }
}

uint8_t PatternScanner::ReadEscape() {
  ++pos_;  // the backslash
  // A backslash that ends the pattern stands for itself.
  if (AtEnd()) return '\\';
  uint8_t c = Peek();
  ++pos_;
  switch (c) {
    case 'a': return 7;
    case 'b': return 8;
    case 't': return 9;
    case 'n': return 10;
    case 'v': return 11;
    case 'r': return 13;
    // Backslash-0 is the byte 0, as in C; the digit belongs to the escape.
    case '0': return 0;
    case 'x': {
      int hi = HexValue(Peek()), lo = HexValue(Peek(1));
      if (pos_ + 1 < pattern_.size() && hi >= 0 && lo >= 0) {
        pos_ += 2;
        return uint8_t(hi * 16 + lo);
      }
      return 'x';  // what follows is read as ordinary characters
    }
    default: return c;
  }
}

void PatternScanner::ReadBracket(Token& token) {
  ++pos_;  // '['
  bool complement = false;
  if (Peek() == '^' && !AtEnd()) {
    complement = true;
    ++pos_;
  }
  // A ']' right after "[" or "[^" is a member, as in POSIX brackets: an
  // empty set could never match, so "[]a]" is the useful reading.
  bool first = true;
  ByteSet& set = token.set;
  for (;;) {
    if (AtEnd()) throw REXA_Exception{"closing ] missing", token.offset};
    uint8_t c = Peek();
    if (c == ']' && !first) {
      ++pos_;
      break;
    }
    first = false;
    uint8_t low = c == '\\' ? ReadEscape() : (++pos_, c);
    if (!AtEnd() && Peek() == '-') {
      ++pos_;
      if (AtEnd()) throw REXA_Exception{"closing ] missing", token.offset};
      // The character after '-' ends the range even when it is ']'.
      uint8_t h = Peek();
      uint8_t high = h == '\\' ? ReadEscape() : (++pos_, h);
      AddRange(set, low, high);
    } else {
      set.set(low);
    }
  }
  if (complement) set.flip();
}

Token PatternScanner::Next() {
  while (!AtEnd() && IsBlank(Peek())) ++pos_;
  Token token;
  token.offset = int(pos_);
  if (AtEnd()) {
    token.code = kTokenEnd;
    return token;
  }
  uint8_t c = Peek();
  switch (c) {
    case '*': token.code = kTokenStar; ++pos_; break;
    case '+': token.code = kTokenPlus; ++pos_; break;
    case '=': token.code = kTokenEqual; ++pos_; break;
    case '?': token.code = kTokenQuestion; ++pos_; break;
    case '|': token.code = kTokenBar; ++pos_; break;
    case '(': token.code = kTokenOpen; ++pos_; break;
    case ')': token.code = kTokenClose; ++pos_; break;
    case '.':
      token.code = kTokenCharSet;
      token.set.set();
      ++pos_;
      break;
    case '[':
      token.code = kTokenCharSet;
      ReadBracket(token);
      break;
    case '$':
      if (IsLetter(Peek(1)) || Peek(1) == '_') {
        size_t end = pos_ + 2;
        while (end < pattern_.size()) {
          uint8_t n = uint8_t(pattern_[end]);
          if (!IsLetter(n) && !IsDigit(n) && n != '_') break;
          ++end;
        }
        token.code = kTokenName;
        token.text = pattern_.substr(pos_, end - pos_);
        pos_ = end;
      } else {
        token.code = kTokenCharSet;  // a lone '$' is an ordinary character
        token.set.set('$');
        ++pos_;
      }
      break;
    case '\\':
      if (Peek(1) == 'i' && pos_ + 1 < pattern_.size()) {
        token.code = kTokenCasePostfix;
        pos_ += 2;
      } else {
        token.code = kTokenCharSet;
        token.set.set(ReadEscape());
      }
      break;
    default:
      token.code = kTokenCharSet;
      token.set.set(c);
      ++pos_;
      break;
  }
  token.length = int(pos_) - token.offset;
  if (token.code == kTokenCharSet && token.text.empty())
    token.text = pattern_.substr(size_t(token.offset), size_t(token.length));
  return token;
}

}  // namespace kivro
