// Reads and writes of the package code: in pieces of the package's chunk
// size with a progress call before each piece and after the last when a
// progress callback is set; otherwise in large pieces, since then nobody can
// observe the piece size.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

#include "patch/npk/npk.h"
#include "platform/file_range.h"

namespace kivro::npk_internal {

constexpr size_t kLargePiece = 4 << 20;

// NPK code of the last failed platform call (open, read or write).
int32_t OpenErrorCode();
int32_t WriteErrorCode();
int32_t ReadErrorCode();

// Reads exactly `length` bytes at `offset`: 0, -4 short read, -5, -200.
int32_t ReadAt(NpkFile* package, platform::File* file, uint64_t offset, void* buffer, size_t length,
               int32_t stage, const char* name);

// Sequential writer of a package being saved, buffered when no progress
// callback is set.
class Writer {
 public:
  Writer(NpkFile* package, platform::RangeFile* file, uint64_t start);
  int32_t Write(const void* data, size_t length, int32_t stage, const char* name);
  // Appends `length` bytes of `source` at `offset`, copied inside the kernel.
  // Adjacent ranges are joined, so unchanged neighbours cost one copy.
  int32_t Copy(platform::RangeFile* source, uint64_t offset, uint64_t length);
  int32_t Flush();
  uint64_t position() const { return position_; }

 private:
  int32_t WriteThrough(const void* data, size_t length, int32_t stage, const char* name);
  int32_t FlushCopy();
  NpkFile* package_;
  platform::RangeFile* file_;
  uint64_t position_;       // logical end, buffered bytes included
  uint64_t file_position_;  // where the buffer goes
  std::vector<uint8_t> buffer_;
  // A copy not done yet (length 0: none); only while the buffer is empty.
  platform::RangeFile* copy_source_ = nullptr;
  uint64_t copy_offset_ = 0, copy_length_ = 0;
};

void PutU32(uint8_t* p, uint32_t v);
void PutU16(uint8_t* p, uint16_t v);
uint32_t GetU32(const uint8_t* p);
uint16_t GetU16(const uint8_t* p);

}  // namespace kivro::npk_internal
