// Read-only memory mapping of a file of any size, one window at a time.
// Not shared between threads.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

namespace platform {

class ReadOnlyMapping {
 public:
  // Offsets given to MapWindow are rounded down to this internally; callers
  // may pass any offset.
  static size_t Granularity();

  ReadOnlyMapping() = default;
  ~ReadOnlyMapping();
  ReadOnlyMapping(const ReadOnlyMapping&) = delete;
  ReadOnlyMapping& operator=(const ReadOnlyMapping&) = delete;

  bool Open(const std::string& path);
  void Close();
  uint64_t Size() const { return size_; }

  // Maps [offset, offset + length) (clipped to the file) and returns its
  // first byte; the previous window is unmapped. Null on failure or when the
  // range is empty. The pages are read ahead sequentially.
  const uint8_t* MapWindow(uint64_t offset, size_t length);

 private:
  void Unmap();
  int fd_ = -1;
  uint64_t size_ = 0;
  void* base_ = nullptr;
  size_t base_length_ = 0;
};

}  // namespace platform
