// Changes below a trusted folder: the folder is opened as it stands, every
// component below it with O_NOFOLLOW, and the change is made relative to the
// descriptor of the folder that holds the name, so no link below the trusted
// folder is ever followed, whatever is renamed meanwhile.
#include "platform/file_inside.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <vector>

#include "platform/error.h"
#include "platform/paths.h"
#include "platform/posix/errno_map.h"
#include "platform/posix/fd_io.h"
#include "platform/posix/folder_names.h"

namespace platform {

namespace {

constexpr char kCreationAttr[] = "user.kivro.creation";

bool Fail(int32_t error) {
  SetLastSystemError(error);
  return false;
}

// A descriptor closed on scope exit.
class Fd {
 public:
  explicit Fd(int fd = -1) : fd_(fd) {}
  ~Fd() { Reset(); }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  void Reset(int fd = -1) {
    if (fd_ >= 0) close(fd_);
    fd_ = fd;
  }
  int get() const { return fd_; }
  int Release() {
    int fd = fd_;
    fd_ = -1;
    return fd;
  }

 private:
  int fd_;
};

// `path` seen from `folder`: the folder's POSIX path and the names below it.
struct Below {
  std::string base;
  std::vector<std::string> parts;
  std::string Posix(size_t count) const {
    std::string p = base == "/" ? std::string() : base;
    for (size_t i = 0; i < count; ++i) p += "/" + parts[i];
    return p.empty() ? std::string("/") : p;
  }
  std::string Full() const { return Posix(parts.size()); }
  const std::string& Leaf() const { return parts.back(); }
};

bool SplitBelow(const std::string& folder, const std::string& path, Below* out) {
  out->base = ToPosixPath(folder);
  std::string full = ToPosixPath(path);
  if (out->base.empty() || full.empty()) return Fail(kErrorPathNotFound);
  out->parts.clear();
  if (full == out->base) return true;
  size_t start = out->base == "/" ? 1 : out->base.size() + 1;
  if (full.size() < start || full.compare(0, out->base.size(), out->base) != 0 ||
      (out->base != "/" && full[out->base.size()] != '/'))
    return Fail(kErrorAccessDenied);
  size_t pos = start;
  while (pos <= full.size()) {
    size_t slash = full.find('/', pos);
    if (slash == std::string::npos) slash = full.size();
    if (slash > pos) out->parts.push_back(full.substr(pos, slash - pos));
    pos = slash + 1;
  }
  return true;
}

bool IsLinkAt(int dir, const std::string& name) {
  struct stat st;
  return fstatat(dir, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(st.st_mode);
}

// Opens the first `count` components below the base as folders, creating
// missing ones when `create`. -1 on failure (the last error is set).
int OpenFolders(const Below& b, size_t count, bool create) {
  Fd fd(open(b.base.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (fd.get() < 0) {
    FailWithErrno();
    return -1;
  }
  for (size_t i = 0; i < count; ++i) {
    const char* name = b.parts[i].c_str();
    int next = openat(fd.get(), name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (next < 0 && errno == ENOENT && create) {
      {
        FolderChange change(b.Posix(i + 1));
        if (mkdirat(fd.get(), name, 0755) != 0 && errno != EEXIST) {
          FailWithErrno();
          return -1;
        }
      }
      next = openat(fd.get(), name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    }
    if (next < 0) {
      int e = errno;
      if (IsLinkAt(fd.get(), b.parts[i])) {
        Fail(kErrorStoppedOnSymlink);
      } else {
        // A missing folder, or a file standing where a folder must be: the
        // path does not exist (as Windows says it).
        SetLastSystemError(e == ENOTDIR || e == ENOENT ? kErrorPathNotFound : ErrorFromErrno(e));
      }
      return -1;
    }
    fd.Reset(next);
  }
  return fd.Release();
}

// The folder that holds `path`'s last name; -1 on failure.
int OpenParent(const std::string& folder, const std::string& path, Below* b) {
  if (!SplitBelow(folder, path, b)) return -1;
  if (b->parts.empty()) {
    Fail(kErrorAccessDenied);  // the folder itself is not a file below it
    return -1;
  }
  return OpenFolders(*b, b->parts.size() - 1, false);
}

// The name itself, opened without following it (O_PATH): refuses a link.
int OpenLeafPath(int dir, const std::string& name, struct stat* st) {
  int fd = openat(dir, name.c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) {
    FailWithErrno();
    return -1;
  }
  if (fstat(fd, st) != 0 || S_ISLNK(st->st_mode)) {
    close(fd);
    Fail(S_ISLNK(st->st_mode) ? kErrorStoppedOnSymlink : kErrorAccessDenied);
    return -1;
  }
  return fd;
}

// The file behind an O_PATH descriptor, for calls that take a path.
std::string ProcPath(int fd) { return "/proc/self/fd/" + std::to_string(fd); }

// An existing name below a folder, opened as itself together with the
// folder that holds it, neither through a link.
struct LeafBelow {
  Below below;
  Fd dir;
  Fd leaf;
  struct stat st {};
  bool Open(const std::string& folder, const std::string& path) {
    dir.Reset(OpenParent(folder, path, &below));
    if (dir.get() < 0) return false;
    leaf.Reset(OpenLeafPath(dir.get(), below.Leaf(), &st));
    return leaf.get() >= 0;
  }
};

bool RenameInside(const std::string& folder, const std::string& from, const std::string& to,
                  bool replace) {
  Below src, dst;
  Fd from_dir(OpenParent(folder, from, &src));
  if (from_dir.get() < 0) return false;
  Fd to_dir(OpenParent(folder, to, &dst));
  if (to_dir.get() < 0) return false;
  // Neither a link moved into place nor one standing at the target.
  if (IsLinkAt(from_dir.get(), src.Leaf()) || IsLinkAt(to_dir.get(), dst.Leaf()))
    return Fail(kErrorStoppedOnSymlink);
  FolderChange change(src.Full(), dst.Full());
  const char* a = src.Leaf().c_str();
  const char* b = dst.Leaf().c_str();
  if (replace) return renameat(from_dir.get(), a, to_dir.get(), b) == 0 || FailWithErrno();
  if (renameat2(from_dir.get(), a, to_dir.get(), b, RENAME_NOREPLACE) == 0) return true;
  if (errno != EINVAL && errno != ENOSYS) return FailWithErrno();
  // File systems without RENAME_NOREPLACE: a hard link fails when the
  // target exists.
  if (linkat(from_dir.get(), a, to_dir.get(), b, 0) != 0) return FailWithErrno();
  unlinkat(from_dir.get(), a, 0);
  return true;
}

struct timespec ToTimespec(FileTime ft) {
  struct timespec ts;
  ts.tv_sec = FileTimeToUnix(ft);
  ts.tv_nsec = static_cast<long>(ft.Value() % 10000000ULL) * 100;
  return ts;
}

}  // namespace

bool File::OpenInside(const std::string& folder, const std::string& path, int access, Mode mode) {
  Close();
  int flags = O_CLOEXEC | O_NOFOLLOW | OpenFlags(access, mode);
  Below b;
  Fd dir(OpenParent(folder, path, &b));
  if (dir.get() < 0) return false;
  {
    std::string no_change;
    FolderChange change((flags & O_CREAT) ? b.Full() : no_change);
    handle_ = openat(dir.get(), b.Leaf().c_str(), flags, 0644);
  }
  if (handle_ < 0) {
    int e = errno;
    if (e == ELOOP || IsLinkAt(dir.get(), b.Leaf())) return Fail(kErrorStoppedOnSymlink);
    if (e == EEXIST) return Fail(kErrorFileExists);
    if (e == EISDIR) return Fail(kErrorAccessDenied);
    if (e == ENOENT && (flags & O_CREAT)) return Fail(kErrorPathNotFound);
    SetLastSystemError(ErrorFromErrno(e));
    return false;
  }
  struct stat st;
  if (fstat(handle_, &st) == 0 && !S_ISREG(st.st_mode)) {
    Close();
    return Fail(kErrorAccessDenied);  // a folder, a device or a pipe is no file to install
  }
  return true;
}

bool MoveInside(const std::string& folder, const std::string& from, const std::string& to) {
  return RenameInside(folder, from, to, false);
}

bool ReplaceInside(const std::string& folder, const std::string& from, const std::string& to) {
  return RenameInside(folder, from, to, true);
}

bool RemoveFileInside(const std::string& folder, const std::string& path) {
  LeafBelow at;
  if (!at.Open(folder, path)) return false;
  if (S_ISDIR(at.st.st_mode)) return Fail(kErrorAccessDenied);
  if ((at.st.st_mode & S_IWUSR) == 0) chmod(ProcPath(at.leaf.get()).c_str(), (at.st.st_mode & 07777) | S_IWUSR);
  FolderChange change(at.below.Full());
  return unlinkat(at.dir.get(), at.below.Leaf().c_str(), 0) == 0 || FailWithErrno();
}

bool SetFileTimesInside(const std::string& folder, const std::string& path, const FileTime* creation,
                        const FileTime* access, const FileTime* write) {
  LeafBelow at;
  if (!at.Open(folder, path)) return false;
  if (access || write) {
    struct timespec times[2];
    times[0].tv_sec = times[1].tv_sec = 0;
    times[0].tv_nsec = times[1].tv_nsec = UTIME_OMIT;
    if (access) times[0] = ToTimespec(*access);
    if (write) times[1] = ToTimespec(*write);
    // Never follows: at worst a link swapped in meanwhile gets the times.
    if (utimensat(at.dir.get(), at.below.Leaf().c_str(), times, AT_SYMLINK_NOFOLLOW) != 0) return FailWithErrno();
  }
  if (creation) {
    uint64_t value = creation->Value();
    // Best effort, as for SetFileTimes.
    setxattr(ProcPath(at.leaf.get()).c_str(), kCreationAttr, &value, sizeof value, 0);
  }
  return true;
}

bool SetAttributesInside(const std::string& folder, const std::string& path, uint32_t attributes) {
  LeafBelow at;
  if (!at.Open(folder, path)) return false;
  if (S_ISDIR(at.st.st_mode)) return true;
  mode_t mode = at.st.st_mode & 07777;
  if (attributes & kAttrReadOnly)
    mode &= ~(S_IWUSR | S_IWGRP | S_IWOTH);
  else
    mode |= S_IWUSR;
  return chmod(ProcPath(at.leaf.get()).c_str(), mode) == 0 || FailWithErrno();
}

bool CreateFoldersInside(const std::string& folder, const std::string& dir_path) {
  Below b;
  if (!SplitBelow(folder, dir_path, &b)) return false;
  Fd dir(OpenFolders(b, b.parts.size(), true));
  return dir.get() >= 0;
}

bool NoLinkInside(const std::string& folder, const std::string& path) {
  Below b;
  if (!SplitBelow(folder, path, &b)) return false;
  Fd dir(open(b.base.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (dir.get() < 0) return true;  // nothing there yet
  for (size_t i = 0; i < b.parts.size(); ++i) {
    if (IsLinkAt(dir.get(), b.parts[i])) return Fail(kErrorStoppedOnSymlink);
    if (i + 1 == b.parts.size()) break;
    int next = openat(dir.get(), b.parts[i].c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (next < 0) return true;  // missing (or a file where the rest fails on its own)
    dir.Reset(next);
  }
  return true;
}

}  // namespace platform
