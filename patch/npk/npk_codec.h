// Encoding of entity blocks: TEA (32 cycles) over whole 8-byte blocks, then
// zlib compression when asked and the content is at least 256 bytes.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

// TEA on each whole 8-byte block (two little-endian words); a tail of fewer
// than 8 bytes stays as it is.

namespace kivro {

void NpkEncipher(uint8_t* data, size_t length, const uint32_t key[4]);
void NpkDecipher(uint8_t* data, size_t length, const uint32_t key[4]);

// content -> block. Returns 0 or an NPK code (-28 empty, -100 out of memory,
// -29 compression failed).
int32_t NpkEncode(const uint8_t* content, size_t length, uint32_t flags, const uint32_t key[4],
                  std::vector<uint8_t>* block);
// block -> content of exactly `unpacked_size` bytes. Returns 0, -30 when the
// data does not decompress to that size (or a stored block of another
// size), -100 out of memory.
int32_t NpkDecode(const uint8_t* block, size_t stored_size, uint32_t unpacked_size, uint32_t flags,
                  const uint32_t key[4], std::vector<uint8_t>* content);

}  // namespace kivro
