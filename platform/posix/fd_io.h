// Whole-buffer reads and writes by POSIX descriptor or path, for the
// backend's own files: file handles, package saves, the registry file,
// desktop entries and /proc. Every call retries after a signal; on failure
// it returns false with errno telling why.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/file.h"

namespace platform {

// The open(2) flags of an access (File::kRead, kWrite) and a creation mode.
int OpenFlags(int access, File::Mode mode);

// Writes all of `data` at the descriptor's position.
bool WriteAll(int fd, const void* data, size_t length);

// Writes all of `data` at `offset`.
bool WriteAllAt(int fd, const void* data, size_t length, uint64_t offset);

// Reads the file at the POSIX path whole, stopping once more than `limit`
// bytes are in. A missing file reads as empty when `missing_is_empty`.
bool ReadPosixFile(const std::string& path, std::string* content, bool missing_is_empty,
                   size_t limit = SIZE_MAX);

// Writes `content` to the POSIX path `temp`, flushes it to disk and renames
// it over `path`: after a crash `path` holds the old or the new content,
// never a torn one. The temporary file is removed on failure;
// `*write_failed` (when given) then tells whether writing or flushing the
// content failed, rather than creating the file or renaming it.
bool ReplaceFileContent(const std::string& temp, const std::string& path,
                        const std::string& content, bool* write_failed = nullptr);

}  // namespace platform
