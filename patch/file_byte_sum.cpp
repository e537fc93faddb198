#include "patch/file_byte_sum.h"

#include <string>

#include "platform/mapping.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

// 64 MiB windows: few mappings for large files, little address space for a
// 32-bit process.
constexpr size_t kWindow = size_t{64} << 20;

}  // namespace

uint32_t ByteSum(const uint8_t* data, size_t length, uint32_t sum) {
  size_t i = 0;
#if defined(__SSE2__)
  // PSADBW against zero adds 8 bytes at a time into two 64-bit lanes; the
  // lanes cannot overflow for any mappable window.
  __m128i acc0 = _mm_setzero_si128();
  __m128i acc1 = _mm_setzero_si128();
  const __m128i zero = _mm_setzero_si128();
  for (; i + 64 <= length; i += 64) {
    __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + i));
    __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + i + 16));
    __m128i c = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + i + 32));
    __m128i d = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + i + 48));
    acc0 = _mm_add_epi64(acc0, _mm_sad_epu8(a, zero));
    acc1 = _mm_add_epi64(acc1, _mm_sad_epu8(b, zero));
    acc0 = _mm_add_epi64(acc0, _mm_sad_epu8(c, zero));
    acc1 = _mm_add_epi64(acc1, _mm_sad_epu8(d, zero));
  }
  __m128i acc = _mm_add_epi64(acc0, acc1);
  alignas(16) uint64_t lanes[2];
  _mm_store_si128(reinterpret_cast<__m128i*>(lanes), acc);
  sum += static_cast<uint32_t>(lanes[0] + lanes[1]);
#else
  // Eight independent lanes let the compiler keep the loop in vector
  // registers.
  uint32_t lanes[8] = {};
  for (; i + 8 <= length; i += 8)
    for (int k = 0; k < 8; ++k) lanes[k] += data[i + k];
  for (uint32_t lane : lanes) sum += lane;
#endif
  for (; i < length; ++i) sum += data[i];
  return sum;
}

uint32_t FileByteSum(const char* path) {
  platform::ReadOnlyMapping mapping;
  if (path == nullptr || !mapping.Open(path)) return 0;
  uint64_t size = mapping.Size();
  uint32_t sum = 0;
  for (uint64_t offset = 0; offset < size; offset += kWindow) {
    size_t length = static_cast<size_t>(size - offset < kWindow ? size - offset : kWindow);
    const uint8_t* window = mapping.MapWindow(offset, length);
    if (window == nullptr) return 0;
    sum = ByteSum(window, length, sum);
  }
  return sum;
}
