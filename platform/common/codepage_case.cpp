// The parts of code page 949 handling that need no conversion table: ASCII
// tests and ASCII-only case folding, the same on every system.
#include "platform/codepage.h"

namespace platform {

bool IsAscii(const std::string& text) {
  for (unsigned char c : text)
    if (c >= 0x80) return false;
  return true;
}

namespace {
inline unsigned char Lower(unsigned char c) { return (c >= 'A' && c <= 'Z') ? c + 32 : c; }
// Code page 949 lead bytes: the byte after one is a trail byte, which may lie
// in 'A'..'Z' and must not be case-folded.
inline bool IsLeadByte(unsigned char c) { return c >= 0x81 && c <= 0xFE; }
}  // namespace

int CompareNoCase(const char* a, const char* b) {
  const unsigned char* x = reinterpret_cast<const unsigned char*>(a);
  const unsigned char* y = reinterpret_cast<const unsigned char*>(b);
  bool trail = false;
  for (;; ++x, ++y) {
    unsigned char cx = trail ? *x : Lower(*x);
    unsigned char cy = trail ? *y : Lower(*y);
    if (cx != cy || cx == 0) return int(cx) - int(cy);
    trail = !trail && IsLeadByte(*x);
  }
}

bool EqualsNoCase(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  bool trail = false;
  for (size_t i = 0; i < a.size(); ++i) {
    unsigned char x = a[i], y = b[i];
    if (trail ? x != y : Lower(x) != Lower(y)) return false;
    trail = !trail && IsLeadByte(x);
  }
  return true;
}

std::string ToLowerAscii(std::string text) {
  bool trail = false;
  for (char& c : text) {
    unsigned char u = c;
    if (!trail) c = static_cast<char>(Lower(u));
    trail = !trail && IsLeadByte(u);
  }
  return text;
}

}  // namespace platform
