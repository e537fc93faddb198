#include "platform/file_range.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <vector>

#include "platform/error.h"
#include "platform/file.h"
#include "platform/paths.h"
#include "platform/posix/errno_map.h"
#include "platform/posix/fd_io.h"
#include "platform/posix/folder_names.h"
#include "platform/thread.h"

namespace platform {

RangeFile::~RangeFile() { Close(); }

bool RangeFile::OpenForReading(const std::string& path) {
  Close();
  std::string posix = ToPosixPath(path);
  if (posix.empty()) {
    SetLastSystemError(kErrorPathNotFound);
    return false;
  }
  handle_ = open(posix.c_str(), O_RDONLY | O_CLOEXEC);
  return handle_ >= 0 || FailWithErrno();
}

bool RangeFile::Create(const std::string& path, bool replace) {
  Close();
  std::string posix = ToPosixPath(path);
  if (posix.empty()) {
    SetLastSystemError(kErrorPathNotFound);
    return false;
  }
  {
    FolderChange change(posix);
    // Never through a link planted at the name (file_inside.h).
    handle_ = open(posix.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW | (replace ? O_TRUNC : O_EXCL),
                   0644);
  }
  if (handle_ < 0 && errno == EEXIST) {
    SetLastSystemError(kErrorFileExists);
    return false;
  }
  return handle_ >= 0 || FailWithErrno();
}

void RangeFile::Close() {
  if (handle_ >= 0) close(handle_);
  handle_ = -1;
  write_back_early_ = drop_copied_ = false;
  write_back_from_ = write_back_to_ = 0;
}

namespace {
// Bytes gathered before their write-back is started: large enough for the
// disk to take them in one go, small enough to keep it busy all along.
constexpr uint64_t kWriteBackPiece = 8u << 20;
}  // namespace

void RangeFile::Written(uint64_t offset, uint64_t length) {
  if (!write_back_early_ || length == 0) return;
  if (offset != write_back_to_) {  // not sequential: start over from here
    write_back_from_ = offset;
  }
  write_back_to_ = offset + length;
  if (write_back_to_ - write_back_from_ < kWriteBackPiece) return;
  // Only a hint: a failure here is met again by the final Sync.
  sync_file_range(handle_, static_cast<off_t>(write_back_from_),
                  static_cast<off_t>(write_back_to_ - write_back_from_), SYNC_FILE_RANGE_WRITE);
  write_back_from_ = write_back_to_;
}

bool RangeFile::WriteAt(const void* data, size_t length, uint64_t offset) {
  if (!WriteAllAt(handle_, data, length, offset)) return FailWithErrno();
  Written(offset, length);
  return true;
}

bool RangeFile::CopyFrom(RangeFile* source, uint64_t source_offset, uint64_t length,
                         uint64_t offset) {
  uint64_t done = 0;
  bool kernel_copy = true;
  std::vector<char> buffer;
  while (done < length) {
    // In pieces when the bytes are to reach the disk or leave the cache as
    // they come.
    uint64_t most = write_back_early_ || source->drop_copied_ ? kWriteBackPiece : (1u << 30);
    size_t want = static_cast<size_t>(std::min<uint64_t>(length - done, most));
    ssize_t n;
    if (kernel_copy) {
      off_t in = static_cast<off_t>(source_offset + done), out = static_cast<off_t>(offset + done);
      n = copy_file_range(source->handle_, &in, handle_, &out, want, 0);
      if (n > 0) Written(offset + done, static_cast<uint64_t>(n));
      if (n < 0 && (errno == EXDEV || errno == ENOSYS || errno == EOPNOTSUPP || errno == EINVAL)) {
        kernel_copy = false;  // not across these files: copy through memory
        continue;
      }
    } else {
      if (buffer.empty()) buffer.resize(4 << 20);
      want = std::min(want, buffer.size());
      n = pread(source->handle_, buffer.data(), want, static_cast<off_t>(source_offset + done));
      if (n > 0 && !WriteAt(buffer.data(), static_cast<size_t>(n), offset + done)) return false;
    }
    if (n < 0) {
      if (errno == EINTR) continue;
      return FailWithErrno();
    }
    if (n == 0) {
      SetLastSystemError(kErrorHandleEof);
      return false;
    }
    if (source->drop_copied_) {  // only a hint: nothing to do when it fails
      posix_fadvise(source->handle_, static_cast<off_t>(source_offset + done), static_cast<off_t>(n),
                    POSIX_FADV_DONTNEED);
    }
    done += static_cast<uint64_t>(n);
  }
  return true;
}

bool RangeFile::Sync() { return fsync(handle_) == 0 || FailWithErrno(); }

bool ReplaceFileReleasingOldLater(const std::string& from, const std::string& to) {
  // A handle on the old file keeps its blocks until it is closed.
  int old = open(ToPosixPath(to).c_str(), O_PATH | O_CLOEXEC);
  bool replaced = ReplacePath(from, to);
  if (old >= 0 && (!replaced || !StartDetachedThread([old] { close(old); }))) close(old);
  return replaced;
}

}  // namespace platform
