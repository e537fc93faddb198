// File handles of the wide API for the backend's own files (File,
// RangeFile, the shared memory's pages): the open that never writes through
// a link, and whole-buffer and positional transfers. Failures set the
// thread's last system error (Windows backend only).
#pragma once
#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <string>

namespace platform {

// The most one ReadFile or WriteFile moves (their counts are 32-bit).
constexpr DWORD kMaxIoChunk = 1u << 30;

// CreateFileW shared for reading, writing and deleting (so that a file can
// be renamed over or deleted while others read it, as on POSIX). When
// `writing`, a link (reparse point) is never written through: opening one
// fails with kErrorAccessDenied. INVALID_HANDLE_VALUE on failure.
HANDLE OpenFileHandle(const std::wstring& path, DWORD desired_access, DWORD disposition, bool writing);

// Writes all of `data` at the handle's position; `written` (when given)
// receives the bytes written before a failure.
bool WriteAllToHandle(HANDLE h, const void* data, size_t length, size_t* written);
// Reads / writes at `offset` without moving the handle's position (as
// pread and pwrite do). ReadHandleAt returns the bytes read, fewer at the
// end of the file, or -1.
int64_t ReadHandleAt(HANDLE h, void* buffer, size_t length, uint64_t offset);
bool WriteHandleAt(HANDLE h, const void* data, size_t length, uint64_t offset);
// Sets the end of the file without moving the position.
bool SetHandleSize(HANDLE h, uint64_t size);

}  // namespace platform
