// Large sequential file writing for saving big files quickly: copies of
// byte ranges between files done inside the kernel where it can (as cp
// does). Used by the package save.
// Not shared between threads.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

namespace platform {

class RangeFile {
 public:
  RangeFile() = default;
  ~RangeFile();
  RangeFile(const RangeFile&) = delete;
  RangeFile& operator=(const RangeFile&) = delete;

  // Opens an existing file for reading (a Windows path).
  bool OpenForReading(const std::string& path);
  // Creates a file for reading and writing: emptied when it exists, or,
  // with `replace` false, failing with kErrorFileExists.
  bool Create(const std::string& path, bool replace);
  void Close();
  bool IsOpen() const { return fd_ >= 0; }

  bool WriteAt(const void* data, size_t length, uint64_t offset);
  // Copies `length` bytes of `source` at `source_offset` to `offset` here.
  // Fails when the source ends before (kErrorHandleEof).
  bool CopyFrom(RangeFile* source, uint64_t source_offset, uint64_t length, uint64_t offset);
  bool Sync();

 private:
  int fd_ = -1;
};

}  // namespace platform
