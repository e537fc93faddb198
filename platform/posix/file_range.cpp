#include "platform/file_range.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <vector>

#include "platform/error.h"
#include "platform/paths.h"
#include "platform/posix/errno_map.h"

namespace platform {

RangeFile::~RangeFile() { Close(); }

bool RangeFile::OpenForReading(const std::string& path) {
  Close();
  std::string posix = ToPosixPath(path);
  if (posix.empty()) {
    SetLastSystemError(kErrorPathNotFound);
    return false;
  }
  fd_ = open(posix.c_str(), O_RDONLY | O_CLOEXEC);
  return fd_ >= 0 || FailWithErrno();
}

bool RangeFile::Create(const std::string& path, bool replace) {
  Close();
  std::string posix = ToPosixPath(path);
  if (posix.empty()) {
    SetLastSystemError(kErrorPathNotFound);
    return false;
  }
  fd_ = open(posix.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | (replace ? O_TRUNC : O_EXCL), 0644);
  if (fd_ < 0 && errno == EEXIST) {
    SetLastSystemError(kErrorFileExists);
    return false;
  }
  return fd_ >= 0 || FailWithErrno();
}

void RangeFile::Close() {
  if (fd_ >= 0) close(fd_);
  fd_ = -1;
}

bool RangeFile::WriteAt(const void* data, size_t length, uint64_t offset) {
  const char* p = static_cast<const char*>(data);
  size_t done = 0;
  while (done < length) {
    ssize_t n = pwrite(fd_, p + done, length - done, static_cast<off_t>(offset + done));
    if (n < 0) {
      if (errno == EINTR) continue;
      return FailWithErrno();
    }
    done += static_cast<size_t>(n);
  }
  return true;
}

bool RangeFile::CopyFrom(RangeFile* source, uint64_t source_offset, uint64_t length,
                         uint64_t offset) {
  uint64_t done = 0;
  bool kernel_copy = true;
  std::vector<char> buffer;
  while (done < length) {
    size_t want = static_cast<size_t>(std::min<uint64_t>(length - done, 1u << 30));
    ssize_t n;
    if (kernel_copy) {
      off_t in = static_cast<off_t>(source_offset + done), out = static_cast<off_t>(offset + done);
      n = copy_file_range(source->fd_, &in, fd_, &out, want, 0);
      if (n < 0 && (errno == EXDEV || errno == ENOSYS || errno == EOPNOTSUPP || errno == EINVAL)) {
        kernel_copy = false;  // not across these files: copy through memory
        continue;
      }
    } else {
      if (buffer.empty()) buffer.resize(4 << 20);
      want = std::min(want, buffer.size());
      n = pread(source->fd_, buffer.data(), want, static_cast<off_t>(source_offset + done));
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
    done += static_cast<uint64_t>(n);
  }
  return true;
}

bool RangeFile::Sync() { return fsync(fd_) == 0 || FailWithErrno(); }

}  // namespace platform
