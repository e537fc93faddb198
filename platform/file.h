// Files and folders through Windows paths (see paths.h). Every function takes
// a Windows path in code page 949 and sets the thread's last system error
// (error.h) when it fails.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/filetime.h"
#include "platform/handle.h"

namespace platform {

// Windows file attributes. On POSIX: READONLY is the absence of the owner's
// write bit; DIRECTORY is a folder; other files report ARCHIVE; names that
// start with '.' report HIDDEN.
enum FileAttribute : uint32_t {
  kAttrReadOnly = 0x01,
  kAttrHidden = 0x02,
  kAttrSystem = 0x04,
  kAttrDirectory = 0x10,
  kAttrArchive = 0x20,
  kAttrNormal = 0x80,
};
constexpr uint32_t kInvalidFileAttributes = 0xFFFFFFFFu;

uint32_t GetPathAttributes(const std::string& path);
bool SetPathAttributes(const std::string& path, uint32_t attributes);
bool FileExists(const std::string& path);       // a file or a folder
bool DirectoryExists(const std::string& path);  // a folder

struct FileInfo {
  uint32_t attributes = 0;
  uint64_t size = 0;
  FileTime creation, access, write;  // UTC
};
bool GetFileInfo(const std::string& path, FileInfo* info);

// Sets the three times of a file; a null pointer leaves that time unchanged.
// The creation time is kept in an extended attribute where the file system
// has them (POSIX has no settable creation time); elsewhere it is dropped.
bool SetFileTimes(const std::string& path, const FileTime* creation, const FileTime* access,
                  const FileTime* write);

// MovePath: fails with kErrorAlreadyExists when the target exists.
bool MovePath(const std::string& from, const std::string& to);
// Replaces the target atomically (rename over it).
bool ReplacePath(const std::string& from, const std::string& to);
// RemoveFile after clearing the read-only attribute.
bool RemoveFile(const std::string& path);
bool MakeDirectory(const std::string& path);  // one level; fails when it exists
bool RemoveEmptyDirectory(const std::string& path);  // empty folders only
// Deletes a folder with everything in it (what a shell delete does).
bool RemoveTree(const std::string& path);
// Creates the directory part of `file_path` (up to the last '\', else the
// last '/') with all missing parents, parents first. True when it exists after.
bool CreateParentDirectories(const std::string& file_path);
// Creates `dir_path` itself with all missing parents.
bool CreateDirectoryChain(const std::string& dir_path);

struct DirEntry {
  std::string name;  // code page 949
  uint32_t attributes = 0;
  uint64_t size = 0;
  FileTime write;
};
// The entries of a folder, without "." and "..", in no particular order.
// An entry whose name code page 949 cannot represent exactly is left out
// (with a debugger trace): turned into '?', two different names would
// become one, and no code page 949 name reaches it anyway.
bool ListDirectory(const std::string& dir_path, std::vector<DirEntry>* entries);

// A file handle. Not shared between threads.
class File {
 public:
  enum Access { kRead = 1, kWrite = 2 };
  enum class Mode {
    kCreateNew,         // fails when it exists
    kCreateAlways,      // creates or truncates
    kOpenExisting,      // fails when missing
    kOpenAlways,        // opens or creates
    kTruncateExisting,  // fails when missing, truncates
  };

  File() = default;
  ~File();
  File(const File&) = delete;
  File& operator=(const File&) = delete;
  File(File&& other) noexcept;
  File& operator=(File&& other) noexcept;

  bool Open(const std::string& path, int access, Mode mode);
  // Open, for `path` below `folder`, never through a link (file_inside.h).
  bool OpenInside(const std::string& folder, const std::string& path, int access, Mode mode);
  bool IsOpen() const { return handle_ != kNoHandle; }
  void Close();

  // Read returns the bytes read (0 at the end), -1 on error. Write writes all
  // bytes or fails.
  int64_t Read(void* buffer, size_t length);
  bool ReadExact(void* buffer, size_t length);  // fails at a short read
  bool Write(const void* buffer, size_t length);
  int64_t ReadAt(void* buffer, size_t length, uint64_t offset);
  bool WriteAt(const void* buffer, size_t length, uint64_t offset);
  bool Seek(uint64_t offset);
  bool SeekToEnd();
  int64_t Position() const;
  int64_t Size() const;
  bool Truncate(uint64_t size);
  bool Sync();  // flushes to the disk
  bool GetTimes(FileTime* creation, FileTime* access, FileTime* write) const;
  bool SetTimes(const FileTime* creation, const FileTime* access, const FileTime* write);

 private:
  NativeHandle handle_ = kNoHandle;
};

// Whole-file helpers for tools and tests.
bool ReadWholeFile(const std::string& path, std::string* content);
bool WriteWholeFile(const std::string& path, const void* data, size_t length);

// Flushes a folder's entries to disk (after a rename into it).
bool SyncDirectory(const std::string& dir_path);

}  // namespace platform
