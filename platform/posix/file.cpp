#include "platform/file.h"

#include <dirent.h>
#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cstring>

#include "platform/codepage.h"
#include "platform/debug.h"
#include "platform/error.h"
#include "platform/paths.h"
#include "platform/posix/errno_map.h"
#include "platform/posix/fd_io.h"
#include "platform/posix/folder_names.h"

namespace platform {

namespace {

// The creation time has no settable POSIX counterpart; it is kept here.
constexpr char kCreationAttr[] = "user.kivro.creation";

FileTime FromTimespec(const struct timespec& ts) {
  return UnixToFileTime(ts.tv_sec, static_cast<uint32_t>(ts.tv_nsec / 100));
}

struct timespec ToTimespec(FileTime ft) {
  uint64_t v = ft.Value();
  struct timespec ts;
  ts.tv_sec = FileTimeToUnix(ft);
  ts.tv_nsec = static_cast<long>(v % 10000000ULL) * 100;
  return ts;
}

uint32_t AttributesOf(const std::string& posix, const struct stat& st) {
  if (S_ISDIR(st.st_mode)) return kAttrDirectory;
  uint32_t attrs = 0;
  if ((st.st_mode & S_IWUSR) == 0) attrs |= kAttrReadOnly;
  size_t slash = posix.rfind('/');
  if (posix.compare(slash + 1, 1, ".") == 0) attrs |= kAttrHidden;
  return attrs | kAttrArchive;
}

FileTime CreationOf(int fd, const std::string* posix, const struct stat& st) {
  uint64_t value = 0;
  ssize_t n = fd >= 0 ? fgetxattr(fd, kCreationAttr, &value, sizeof value)
                      : getxattr(posix->c_str(), kCreationAttr, &value, sizeof value);
  if (n == sizeof value) return FileTime::FromValue(value);
  return FromTimespec(st.st_mtim);
}

bool ApplyTimes(int fd, const std::string* posix, const FileTime* creation, const FileTime* access,
                const FileTime* write) {
  struct timespec times[2];
  times[0].tv_nsec = UTIME_OMIT;
  times[1].tv_nsec = UTIME_OMIT;
  times[0].tv_sec = times[1].tv_sec = 0;
  if (access) times[0] = ToTimespec(*access);
  if (write) times[1] = ToTimespec(*write);
  if (access || write) {
    int r = fd >= 0 ? futimens(fd, times) : utimensat(AT_FDCWD, posix->c_str(), times, 0);
    if (r != 0) return FailWithErrno();
  }
  if (creation) {
    uint64_t value = creation->Value();
    // Best effort: file systems without user attributes drop it.
    if (fd >= 0)
      fsetxattr(fd, kCreationAttr, &value, sizeof value, 0);
    else
      setxattr(posix->c_str(), kCreationAttr, &value, sizeof value, 0);
  }
  return true;
}

bool RemoveTreePosix(const std::string& posix) {
  struct stat st;
  if (lstat(posix.c_str(), &st) != 0) return FailWithErrno();
  if (!S_ISDIR(st.st_mode)) return unlink(posix.c_str()) == 0 || FailWithErrno();
  DIR* d = opendir(posix.c_str());
  if (d == nullptr) return FailWithErrno();
  bool ok = true;
  while (dirent* e = readdir(d)) {
    if (strcmp(e->d_name, ".") == 0 || strcmp(e->d_name, "..") == 0) continue;
    if (!RemoveTreePosix(posix + "/" + e->d_name)) ok = false;
  }
  closedir(d);
  if (rmdir(posix.c_str()) != 0) return FailWithErrno();
  return ok;
}

}  // namespace

uint32_t GetPathAttributes(const std::string& path) {
  std::string posix = ToPosixPath(path);
  struct stat st;
  if (posix.empty() || stat(posix.c_str(), &st) != 0) {
    FailWithErrno();
    return kInvalidFileAttributes;
  }
  return AttributesOf(posix, st);
}

bool SetPathAttributes(const std::string& path, uint32_t attributes) {
  std::string posix = ToPosixPath(path);
  struct stat st;
  if (stat(posix.c_str(), &st) != 0) return FailWithErrno();
  if (S_ISDIR(st.st_mode)) return true;
  mode_t mode = st.st_mode & 07777;
  if (attributes & kAttrReadOnly)
    mode &= ~(S_IWUSR | S_IWGRP | S_IWOTH);
  else
    mode |= S_IWUSR;
  return chmod(posix.c_str(), mode) == 0 || FailWithErrno();
}

bool FileExists(const std::string& path) { return GetPathAttributes(path) != kInvalidFileAttributes; }

bool DirectoryExists(const std::string& path) {
  uint32_t a = GetPathAttributes(path);
  return a != kInvalidFileAttributes && (a & kAttrDirectory);
}

bool GetFileInfo(const std::string& path, FileInfo* info) {
  std::string posix = ToPosixPath(path);
  struct stat st;
  if (posix.empty() || stat(posix.c_str(), &st) != 0) return FailWithErrno();
  info->attributes = AttributesOf(posix, st);
  info->size = S_ISDIR(st.st_mode) ? 0 : static_cast<uint64_t>(st.st_size);
  info->access = FromTimespec(st.st_atim);
  info->write = FromTimespec(st.st_mtim);
  info->creation = CreationOf(-1, &posix, st);
  return true;
}

bool SetFileTimes(const std::string& path, const FileTime* creation, const FileTime* access,
                  const FileTime* write) {
  std::string posix = ToPosixPath(path);
  return ApplyTimes(-1, &posix, creation, access, write);
}

bool MovePath(const std::string& from, const std::string& to) {
  std::string src = ToPosixPath(from);
  std::string dst = ToPosixPath(to);
  FolderChange change(src, dst);
  if (renameat2(AT_FDCWD, src.c_str(), AT_FDCWD, dst.c_str(), RENAME_NOREPLACE) == 0) return true;
  if (errno != EINVAL && errno != ENOSYS) return FailWithErrno();
  // File systems without RENAME_NOREPLACE: a hard link fails when the target
  // exists, which gives the same guarantee for files.
  if (link(src.c_str(), dst.c_str()) != 0) return FailWithErrno();
  unlink(src.c_str());
  return true;
}

bool ReplacePath(const std::string& from, const std::string& to) {
  std::string src = ToPosixPath(from);
  std::string dst = ToPosixPath(to);
  FolderChange change(src, dst);
  return rename(src.c_str(), dst.c_str()) == 0 || FailWithErrno();
}

bool RemoveFile(const std::string& path) {
  std::string posix = ToPosixPath(path);
  struct stat st;
  if (lstat(posix.c_str(), &st) != 0) return FailWithErrno();
  if (S_ISDIR(st.st_mode)) {
    SetLastSystemError(kErrorAccessDenied);
    return false;
  }
  if ((st.st_mode & S_IWUSR) == 0) chmod(posix.c_str(), (st.st_mode & 07777) | S_IWUSR);
  FolderChange change(posix);
  return unlink(posix.c_str()) == 0 || FailWithErrno();
}

bool MakeDirectory(const std::string& path) {
  std::string posix = ToPosixPath(path);
  FolderChange change(posix);
  return mkdir(posix.c_str(), 0755) == 0 || FailWithErrno();
}

bool RemoveEmptyDirectory(const std::string& path) {
  std::string posix = ToPosixPath(path);
  FolderChange change(posix);
  return rmdir(posix.c_str()) == 0 || FailWithErrno();
}

bool RemoveTree(const std::string& path) {
  std::string posix = ToPosixPath(path);
  FolderChange change(posix);
  return RemoveTreePosix(posix);
}

bool CreateDirectoryChain(const std::string& dir_path) {
  std::string posix = ToPosixPath(dir_path);
  if (posix.empty()) {
    SetLastSystemError(kErrorPathNotFound);
    return false;
  }
  // Parents first: every prefix that ends before a '/'.
  for (size_t pos = 1; pos <= posix.size(); ++pos) {
    if (pos != posix.size() && posix[pos] != '/') continue;
    std::string prefix = posix.substr(0, pos);
    struct stat st;
    if (stat(prefix.c_str(), &st) == 0) {
      if (!S_ISDIR(st.st_mode)) {
        SetLastSystemError(kErrorPathNotFound);
        return false;
      }
      continue;
    }
    FolderChange change(prefix);
    if (mkdir(prefix.c_str(), 0755) != 0 && errno != EEXIST) return FailWithErrno();
  }
  return true;
}

bool CreateParentDirectories(const std::string& file_path) {
  std::string dir = DirectoryPart(file_path);
  if (dir.empty()) return true;
  return CreateDirectoryChain(dir);
}

bool ListDirectory(const std::string& dir_path, std::vector<DirEntry>* entries) {
  entries->clear();
  std::string posix = ToPosixPath(dir_path);
  DIR* d = opendir(posix.c_str());
  if (d == nullptr) return FailWithErrno();
  int dfd = dirfd(d);
  while (dirent* e = readdir(d)) {
    if (strcmp(e->d_name, ".") == 0 || strcmp(e->d_name, "..") == 0) continue;
    struct stat st;
    if (fstatat(dfd, e->d_name, &st, 0) != 0) continue;  // vanished meanwhile
    DirEntry entry;
    // A name code page 949 cannot hold is left out rather than given a '?'
    // in place of what does not convert: two such names would look like
    // one, and no name of our own could reach either.
    if (!Utf8ToCp949Exact(e->d_name, &entry.name)) {
      DebugPrintf("[file] %s: left out a name code page 949 cannot hold\n", posix.c_str());
      continue;
    }
    entry.attributes = AttributesOf(posix + "/" + e->d_name, st);
    entry.size = S_ISDIR(st.st_mode) ? 0 : static_cast<uint64_t>(st.st_size);
    entry.write = FromTimespec(st.st_mtim);
    entries->push_back(std::move(entry));
  }
  closedir(d);
  return true;
}

bool SyncDirectory(const std::string& dir_path) {
  int fd = open(ToPosixPath(dir_path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return FailWithErrno();
  bool ok = fsync(fd) == 0 || FailWithErrno();
  close(fd);
  return ok;
}

// ---- File ----

File::~File() { Close(); }

File::File(File&& other) noexcept : handle_(other.handle_) { other.handle_ = -1; }

File& File::operator=(File&& other) noexcept {
  if (this != &other) {
    Close();
    handle_ = other.handle_;
    other.handle_ = -1;
  }
  return *this;
}

int OpenFlags(int access, File::Mode mode) {
  int flags = 0;
  if ((access & File::kRead) && (access & File::kWrite))
    flags |= O_RDWR;
  else if (access & File::kWrite)
    flags |= O_WRONLY;
  else
    flags |= O_RDONLY;
  switch (mode) {
    case File::Mode::kCreateNew: flags |= O_CREAT | O_EXCL; break;
    case File::Mode::kCreateAlways: flags |= O_CREAT | O_TRUNC; break;
    case File::Mode::kOpenExisting: break;
    case File::Mode::kOpenAlways: flags |= O_CREAT; break;
    case File::Mode::kTruncateExisting: flags |= O_TRUNC; break;
  }
  return flags;
}

bool File::Open(const std::string& path, int access, Mode mode) {
  Close();
  int flags = O_CLOEXEC | OpenFlags(access, mode);
  std::string posix = ToPosixPath(path);
  if (posix.empty()) {
    SetLastSystemError(kErrorPathNotFound);
    return false;
  }
  {
    // Only creating opens change the folder.
    std::string no_change;
    FolderChange change((flags & O_CREAT) ? posix : no_change);
    handle_ = open(posix.c_str(), flags, 0644);
  }
  if (handle_ < 0) {
    if (errno == EEXIST) {
      SetLastSystemError(kErrorFileExists);
      return false;
    }
    if (errno == EISDIR) {
      SetLastSystemError(kErrorAccessDenied);
      return false;
    }
    if (errno == ENOENT && (flags & O_CREAT)) {
      SetLastSystemError(kErrorPathNotFound);
      return false;
    }
    return FailWithErrno();
  }
  struct stat st;
  if (fstat(handle_, &st) == 0 && S_ISDIR(st.st_mode)) {
    Close();
    SetLastSystemError(kErrorAccessDenied);
    return false;
  }
  return true;
}

void File::Close() {
  if (handle_ >= 0) close(handle_);
  handle_ = -1;
}

int64_t File::Read(void* buffer, size_t length) {
  for (;;) {
    ssize_t n = read(handle_, buffer, length);
    if (n >= 0) return n;
    if (errno != EINTR) {
      FailWithErrno();
      return -1;
    }
  }
}

bool File::ReadExact(void* buffer, size_t length) {
  char* p = static_cast<char*>(buffer);
  while (length > 0) {
    int64_t n = Read(p, length);
    if (n < 0) return false;
    if (n == 0) {
      SetLastSystemError(kErrorHandleEof);
      return false;
    }
    p += n;
    length -= static_cast<size_t>(n);
  }
  return true;
}

bool File::Write(const void* buffer, size_t length) {
  return WriteAll(handle_, buffer, length) || FailWithErrno();
}

int64_t File::ReadAt(void* buffer, size_t length, uint64_t offset) {
  size_t done = 0;
  char* p = static_cast<char*>(buffer);
  while (done < length) {
    ssize_t n = pread(handle_, p + done, length - done, static_cast<off_t>(offset + done));
    if (n < 0) {
      if (errno == EINTR) continue;
      FailWithErrno();
      return -1;
    }
    if (n == 0) break;
    done += static_cast<size_t>(n);
  }
  return static_cast<int64_t>(done);
}

bool File::WriteAt(const void* buffer, size_t length, uint64_t offset) {
  return WriteAllAt(handle_, buffer, length, offset) || FailWithErrno();
}

bool File::Seek(uint64_t offset) {
  return lseek(handle_, static_cast<off_t>(offset), SEEK_SET) >= 0 || FailWithErrno();
}

bool File::SeekToEnd() { return lseek(handle_, 0, SEEK_END) >= 0 || FailWithErrno(); }

int64_t File::Position() const { return lseek(handle_, 0, SEEK_CUR); }

int64_t File::Size() const {
  struct stat st;
  if (fstat(handle_, &st) != 0) {
    FailWithErrno();
    return -1;
  }
  return st.st_size;
}

bool File::Truncate(uint64_t size) {
  return ftruncate(handle_, static_cast<off_t>(size)) == 0 || FailWithErrno();
}

bool File::Sync() { return fsync(handle_) == 0 || FailWithErrno(); }

bool File::GetTimes(FileTime* creation, FileTime* access, FileTime* write) const {
  struct stat st;
  if (fstat(handle_, &st) != 0) return FailWithErrno();
  if (creation) *creation = CreationOf(handle_, nullptr, st);
  if (access) *access = FromTimespec(st.st_atim);
  if (write) *write = FromTimespec(st.st_mtim);
  return true;
}

bool File::SetTimes(const FileTime* creation, const FileTime* access, const FileTime* write) {
  return ApplyTimes(handle_, nullptr, creation, access, write);
}

bool ReadWholeFile(const std::string& path, std::string* content) {
  File f;
  if (!f.Open(path, File::kRead, File::Mode::kOpenExisting)) return false;
  int64_t size = f.Size();
  if (size < 0) return false;
  content->resize(static_cast<size_t>(size));
  int64_t n = f.ReadAt(content->data(), content->size(), 0);
  if (n < 0) return false;
  content->resize(static_cast<size_t>(n));
  return true;
}

bool WriteWholeFile(const std::string& path, const void* data, size_t length) {
  File f;
  if (!f.Open(path, File::kWrite, File::Mode::kCreateAlways)) return false;
  return f.Write(data, length);
}

}  // namespace platform
