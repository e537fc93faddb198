#include "platform/posix/shared_memory_file.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "platform/error.h"
#include "platform/paths.h"
#include "platform/posix/errno_map.h"

namespace platform::named_object {

namespace {

uint64_t Fnv1a(const std::string& text) {
  uint64_t h = 1469598103934665603ull;
  for (unsigned char c : text) {
    h ^= c;
    h *= 1099511628211ull;
  }
  return h;
}

// A folder only this user can use; a folder planted by someone else (or a
// link) is refused rather than trusted.
bool PrivateFolder(const std::string& path, bool create) {
  if (create && mkdir(path.c_str(), 0700) != 0 && errno != EEXIST) return false;
  struct stat st;
  if (lstat(path.c_str(), &st) != 0) return false;
  if (!S_ISDIR(st.st_mode) || st.st_uid != getuid() || (st.st_mode & 0077) != 0) {
    errno = EACCES;
    return false;
  }
  return true;
}

bool Folder(std::string* folder, bool create = true) {
  char name[64];
  std::snprintf(name, sizeof name, "kivro-%u-%016llx", static_cast<unsigned>(getuid()),
                static_cast<unsigned long long>(Fnv1a(VirtualRoot())));
  struct stat st;
  if (stat("/dev/shm", &st) == 0 && S_ISDIR(st.st_mode)) {
    *folder = std::string("/dev/shm/") + name;
  } else {
    if (create && mkdir(VirtualRoot().c_str(), 0755) != 0 && errno != EEXIST) return false;
    *folder = VirtualRoot() + "/objects";
  }
  return PrivateFolder(*folder, create);
}

// Names become file names: safe characters stay, others are %XX; long names
// are shortened to a hash so every name has a file.
std::string FileName(const char* kind, const std::string& name) {
  std::string out = std::string(kind) + "-";
  for (unsigned char c : name) {
    if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' ||
        c == '-' || c == '.') {
      out.push_back(static_cast<char>(c));
    } else {
      char hex[4];
      std::snprintf(hex, sizeof hex, "%%%02X", c);
      out += hex;
    }
  }
  if (out.size() > 200) {
    char hashed[40];
    std::snprintf(hashed, sizeof hashed, "-%016llx", static_cast<unsigned long long>(Fnv1a(name)));
    out = std::string(kind) + "-long" + hashed;
  }
  return out;
}

bool SameFile(int fd, const std::string& path) {
  struct stat a, b;
  return fstat(fd, &a) == 0 && stat(path.c_str(), &b) == 0 && a.st_ino == b.st_ino &&
         a.st_dev == b.st_dev;
}

int LockRetrying(int fd, int operation) {
  int rc;
  do {
    rc = flock(fd, operation);
  } while (rc != 0 && errno == EINTR);
  return rc;
}

}  // namespace

int Open(const char* kind, const std::string& name, OpenMode mode, std::string* path,
         bool* existed) {
  std::string folder;
  if (name.empty()) {
    SetLastSystemError(kErrorInvalidName);
    return -1;
  }
  // Only a creation makes the folder: asking for a missing object leaves
  // nothing behind.
  if (!Folder(&folder, mode == OpenMode::kCreateOrOpen)) {
    if (errno == ENOENT) SetLastSystemError(kErrorFileNotFound);
    else FailWithErrno();
    return -1;
  }
  *path = folder + "/" + FileName(kind, name);
  for (int attempt = 0; attempt < 100; ++attempt) {
    int flags = O_RDWR | O_CLOEXEC | O_NOFOLLOW | (mode == OpenMode::kCreateOrOpen ? O_CREAT : 0);
    int fd = open(path->c_str(), flags, 0600);
    if (fd < 0 && errno == ENOENT && mode == OpenMode::kCreateOrOpen) {
      // The last holder of another object removed the emptied folder.
      if (!Folder(&folder)) {
        FailWithErrno();
        return -1;
      }
      continue;
    }
    if (fd < 0) {
      FailWithErrno();
      return -1;
    }
    // An exclusive lock we can take at once means nobody holds the object.
    bool alone = LockRetrying(fd, LOCK_EX | LOCK_NB) == 0;
    if (alone && mode == OpenMode::kOpenExisting) {
      if (SameFile(fd, *path)) {  // a leftover
        unlink(path->c_str());
        rmdir(folder.c_str());
      }
      close(fd);
      SetLastSystemError(kErrorFileNotFound);
      return -1;
    }
    if (alone) {
      // A new object starts empty, whatever a leftover file held.
      if (ftruncate(fd, 0) != 0) {
        FailWithErrno();
        close(fd);
        return -1;
      }
    }
    if (LockRetrying(fd, LOCK_SH) != 0) {
      FailWithErrno();
      close(fd);
      return -1;
    }
    // The last holder may have removed the file between our open and lock.
    if (SameFile(fd, *path)) {
      *existed = !alone;
      return fd;
    }
    close(fd);
  }
  SetLastSystemError(kErrorSharingViolation);
  return -1;
}

void Close(int fd, const std::string& path) {
  if (fd < 0) return;
  if (LockRetrying(fd, LOCK_EX | LOCK_NB) == 0 && SameFile(fd, path)) {
    unlink(path.c_str());
    // The folder goes with its last object (rmdir fails while others live).
    size_t slash = path.rfind('/');
    if (slash != std::string::npos) rmdir(path.substr(0, slash).c_str());
  }
  close(fd);
}

}  // namespace platform::named_object
