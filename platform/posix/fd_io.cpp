#include "platform/posix/fd_io.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include "platform/posix/folder_names.h"

namespace platform {

bool WriteAll(int fd, const void* data, size_t length) {
  const char* p = static_cast<const char*>(data);
  size_t done = 0;
  while (done < length) {
    ssize_t n = write(fd, p + done, length - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      if (n == 0) errno = EIO;
      return false;
    }
    done += static_cast<size_t>(n);
  }
  return true;
}

bool WriteAllAt(int fd, const void* data, size_t length, uint64_t offset) {
  const char* p = static_cast<const char*>(data);
  size_t done = 0;
  while (done < length) {
    ssize_t n = pwrite(fd, p + done, length - done, static_cast<off_t>(offset + done));
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    done += static_cast<size_t>(n);
  }
  return true;
}

bool ReadPosixFile(const std::string& path, std::string* content, bool missing_is_empty,
                   size_t limit) {
  content->clear();
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return missing_is_empty && errno == ENOENT;
  char buffer[65536];
  bool ok = true;
  while (content->size() <= limit) {
    ssize_t n = read(fd, buffer, sizeof buffer);
    if (n > 0) {
      content->append(buffer, static_cast<size_t>(n));
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    ok = n == 0;
    break;
  }
  int saved = errno;
  close(fd);
  errno = saved;
  return ok;
}

bool ReplaceFileContent(const std::string& temp, const std::string& path,
                        const std::string& content, bool* write_failed) {
  if (write_failed != nullptr) *write_failed = false;
  FolderChange change(temp, path);
  int fd = open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) return false;
  bool written = WriteAll(fd, content.data(), content.size()) && fsync(fd) == 0;
  int saved = errno;
  close(fd);
  if (written && rename(temp.c_str(), path.c_str()) == 0) return true;
  if (written) saved = errno;
  unlink(temp.c_str());
  errno = saved;
  if (write_failed != nullptr) *write_failed = !written;
  return false;
}

}  // namespace platform
