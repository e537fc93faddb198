#include "patch/npk/npk_codec.h"

#include <zlib.h>

#include <cstring>
#include <new>

#include "patch/npk/npk.h"

namespace kivro {

namespace {

constexpr uint32_t kDelta = 0x9E3779B9u;
constexpr int kCycles = 32;
// deflate never packs more than about 1032 bytes into one; a block that
// claims more than this could not have been made by it.
constexpr uint64_t kMaxInflateRatio = 1032;

uint32_t Load(const uint8_t* p) {
  return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}
void Store(uint8_t* p, uint32_t v) {
  p[0] = uint8_t(v);
  p[1] = uint8_t(v >> 8);
  p[2] = uint8_t(v >> 16);
  p[3] = uint8_t(v >> 24);
}

}  // namespace

void NpkEncipher(uint8_t* data, size_t length, const uint32_t key[4]) {
  for (size_t at = 0; at + 8 <= length; at += 8) {
    uint32_t v0 = Load(data + at), v1 = Load(data + at + 4), sum = 0;
    for (int i = 0; i < kCycles; ++i) {
      sum += kDelta;
      v0 += ((v1 << 4) + key[0]) ^ (v1 + sum) ^ ((v1 >> 5) + key[1]);
      v1 += ((v0 << 4) + key[2]) ^ (v0 + sum) ^ ((v0 >> 5) + key[3]);
    }
    Store(data + at, v0);
    Store(data + at + 4, v1);
  }
}

void NpkDecipher(uint8_t* data, size_t length, const uint32_t key[4]) {
  for (size_t at = 0; at + 8 <= length; at += 8) {
    uint32_t v0 = Load(data + at), v1 = Load(data + at + 4), sum = kDelta * kCycles;
    for (int i = 0; i < kCycles; ++i) {
      v1 -= ((v0 << 4) + key[2]) ^ (v0 + sum) ^ ((v0 >> 5) + key[3]);
      v0 -= ((v1 << 4) + key[0]) ^ (v1 + sum) ^ ((v1 >> 5) + key[1]);
      sum -= kDelta;
    }
    Store(data + at, v0);
    Store(data + at + 4, v1);
  }
}

int32_t NpkEncode(const uint8_t* content, size_t length, uint32_t flags, const uint32_t key[4],
                  std::vector<uint8_t>* block) {
  if (length == 0) return NPK_ERROR_NO_DATA;
  try {
    std::vector<uint8_t> plain(content, content + length);
    if (flags & NPK_FLAG_ENCIPHERED) NpkEncipher(plain.data(), plain.size(), key);
    if ((flags & NPK_FLAG_COMPRESSED) && length >= kNpkCompressMinimum) {
      // Sized by the compressor's bound, so content that does not shrink is
      // still stored whole.
      uLongf packed_length = compressBound(static_cast<uLong>(length));
      block->resize(packed_length);
      if (compress2(block->data(), &packed_length, plain.data(), static_cast<uLong>(length),
                    Z_DEFAULT_COMPRESSION) != Z_OK)
        return NPK_ERROR_NO_PLACE;
      block->resize(packed_length);
    } else {
      block->swap(plain);
    }
  } catch (const std::bad_alloc&) {
    return NPK_ERROR_OUT_OF_MEMORY;
  }
  return NPK_SUCCESS;
}

int32_t NpkDecode(const uint8_t* block, size_t stored_size, uint32_t unpacked_size, uint32_t flags,
                  const uint32_t key[4], std::vector<uint8_t>* content) {
  try {
    if ((flags & NPK_FLAG_COMPRESSED) && unpacked_size >= kNpkCompressMinimum) {
      if (uint64_t(unpacked_size) > uint64_t(stored_size) * kMaxInflateRatio + 64)
        return NPK_ERROR_DECOMPRESS;
      content->resize(unpacked_size);
      uLongf out_length = unpacked_size;
      if (uncompress(content->data(), &out_length, block, static_cast<uLong>(stored_size)) !=
              Z_OK ||
          out_length != unpacked_size)
        return NPK_ERROR_DECOMPRESS;
    } else {
      if (stored_size != unpacked_size) return NPK_ERROR_DECOMPRESS;
      content->assign(block, block + stored_size);
    }
  } catch (const std::bad_alloc&) {
    return NPK_ERROR_OUT_OF_MEMORY;
  }
  if (flags & NPK_FLAG_ENCIPHERED) NpkDecipher(content->data(), content->size(), key);
  return NPK_SUCCESS;
}

}  // namespace kivro
