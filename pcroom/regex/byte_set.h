// A set of byte values, the unit every character set of a pattern compiles to.
#pragma once
#include <bitset>
#include <cstdint>

namespace kivro {

using ByteSet = std::bitset<256>;

inline void AddRange(ByteSet& set, uint8_t a, uint8_t b) {
  if (a > b) {
    uint8_t t = a;
    a = b;
    b = t;
  }
  for (int c = a; c <= b; ++c) set.set(c);
}

}  // namespace kivro
