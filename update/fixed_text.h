// Fixed-size text buffers of the data model (260 bytes: 259 characters and
// the terminator). Copies never overflow: a longer text is cut at the
// boundary, and the caller is told so it can refuse the text instead.
#pragma once
#include <cstddef>
#include <cstring>

namespace kivro {

constexpr size_t kTextSize = 260;  // MAX_PATH

// Copies `src` (null = empty) into `dst` of `size` bytes, cut to size - 1
// characters. Returns false when it had to cut.
inline bool CopyText(char* dst, size_t size, const char* src) {
  if (size == 0) return false;
  if (src == nullptr) {
    dst[0] = '\0';
    return true;
  }
  size_t n = strnlen(src, size);
  bool fits = n < size;
  if (!fits) n = size - 1;
  memmove(dst, src, n);
  dst[n] = '\0';
  return fits;
}

template <size_t N>
inline bool CopyText(char (&dst)[N], const char* src) {
  return CopyText(dst, N, src);
}

// True when `src` fits a buffer of `size` bytes with its terminator.
inline bool TextFits(const char* src, size_t size) {
  return src == nullptr || strnlen(src, size) < size;
}

}  // namespace kivro
