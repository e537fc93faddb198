// Large sequential file writing for saving big files quickly: copies of
// byte ranges between files done inside the kernel where it can (as cp
// does). Used by the package save.
// Not shared between threads.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/handle.h"

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
  bool IsOpen() const { return handle_ != kNoHandle; }

  bool WriteAt(const void* data, size_t length, uint64_t offset);
  // Copies `length` bytes of `source` at `source_offset` to `offset` here.
  // Fails when the source ends before (kErrorHandleEof).
  bool CopyFrom(RangeFile* source, uint64_t source_offset, uint64_t length, uint64_t offset);
  // Makes written bytes reach the disk while writing goes on, for a file
  // that will be flushed at the end anyway: the final Sync then waits only
  // for the tail instead of the whole file.
  void WriteBackEarly() { write_back_early_ = true; }
  // Drops the ranges copied out of this file from the system's cache as the
  // copy goes, for a file about to be replaced by the copy: its pages are
  // then reused for the copy's own instead of taking as many fresh ones.
  void DropCopiedFromCache() { drop_copied_ = true; }
  bool Sync();

 private:
  void Written(uint64_t offset, uint64_t length);
  NativeHandle handle_ = kNoHandle;
  bool write_back_early_ = false;
  bool drop_copied_ = false;
  uint64_t write_back_from_ = 0;  // start of the bytes not yet sent to the disk
  uint64_t write_back_to_ = 0;    // their end
};

// Renames `from` over `to` like ReplacePath. The blocks of the file it
// replaces are given back to the file system on a background thread: on a
// large file that release takes as long as writing a good part of it, and
// nobody needs to wait for it.
bool ReplaceFileReleasingOldLater(const std::string& from, const std::string& to);

}  // namespace platform
