// Range copies on Windows go through memory: the system has no copy of a
// byte range between two files (CopyFileEx copies whole files), nor a
// write-back or cache drop of a range, so those two requests are hints this
// backend takes no action on; the final Sync flushes everything.
#include "platform/file_range.h"

#include <windows.h>

#include <algorithm>
#include <vector>

#include "platform/file.h"
#include "platform/win32/file_handle.h"
#include "platform/win32/win_error.h"
#include "platform/win32/wide.h"

namespace platform {

namespace {
constexpr size_t kCopyBuffer = 4u << 20;

HANDLE AsHandle(NativeHandle h) { return reinterpret_cast<HANDLE>(h); }
}  // namespace

RangeFile::~RangeFile() { Close(); }

bool RangeFile::OpenForReading(const std::string& path) {
  Close();
  HANDLE h = OpenFileHandle(WidePath(path), GENERIC_READ, OPEN_EXISTING, false);
  if (h == INVALID_HANDLE_VALUE) return false;
  handle_ = reinterpret_cast<NativeHandle>(h);
  return true;
}

bool RangeFile::Create(const std::string& path, bool replace) {
  Close();
  HANDLE h = OpenFileHandle(WidePath(path), GENERIC_READ | GENERIC_WRITE,
                            replace ? CREATE_ALWAYS : CREATE_NEW, true);
  if (h == INVALID_HANDLE_VALUE) return false;
  handle_ = reinterpret_cast<NativeHandle>(h);
  return true;
}

void RangeFile::Close() {
  if (handle_ != kNoHandle) CloseHandle(AsHandle(handle_));
  handle_ = kNoHandle;
  write_back_early_ = drop_copied_ = false;
  write_back_from_ = write_back_to_ = 0;
}

void RangeFile::Written(uint64_t, uint64_t) {}  // no range write-back to start here

bool RangeFile::WriteAt(const void* data, size_t length, uint64_t offset) {
  if (!WriteHandleAt(AsHandle(handle_), data, length, offset)) return false;
  Written(offset, length);
  return true;
}

bool RangeFile::CopyFrom(RangeFile* source, uint64_t source_offset, uint64_t length,
                         uint64_t offset) {
  std::vector<char> buffer(static_cast<size_t>(std::min<uint64_t>(length, kCopyBuffer)));
  uint64_t done = 0;
  while (done < length) {
    size_t want = static_cast<size_t>(std::min<uint64_t>(length - done, buffer.size()));
    int64_t n = ReadHandleAt(AsHandle(source->handle_), buffer.data(), want, source_offset + done);
    if (n < 0) return false;
    if (n == 0) return FailWith(kErrorHandleEof);
    if (!WriteAt(buffer.data(), static_cast<size_t>(n), offset + done)) return false;
    done += static_cast<uint64_t>(n);
  }
  return true;
}

bool RangeFile::Sync() { return FlushFileBuffers(AsHandle(handle_)) != 0 || FailWithLastError(); }

// The rename itself gives the old file's blocks back inside the system; there
// is nothing left to do later.
bool ReplaceFileReleasingOldLater(const std::string& from, const std::string& to) {
  return ReplacePath(from, to);
}

}  // namespace platform
