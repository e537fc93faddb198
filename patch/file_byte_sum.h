// FileByteSum: the 32-bit wrap-around sum of a file's bytes (each 0..255),
// the checksum that patch lists carry for every file. It runs over every exe
// and dll at every start, so it reads in large pieces and sums with wide
// registers.
#pragma once
#include <cstddef>
#include <cstdint>

// Sum of `length` bytes added to `sum`, wrapping at 2^32.

namespace kivro {

uint32_t ByteSum(const uint8_t* data, size_t length, uint32_t sum = 0);

// Sum of the whole file (a Windows path); 0 when the file cannot be opened or
// a read fails (an empty file also sums to 0).
uint32_t FileByteSum(const char* path);

}  // namespace kivro
