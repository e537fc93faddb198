// The registry on POSIX: one text file under the virtual root (see
// registry_store.h for its format), read whole and replaced whole. Readers
// take a shared lock on a lock file beside it, writers an exclusive one, and a
// writer re-reads the file under its lock before changing it, so writes of
// two processes (or two threads) are never lost. A new file is written to a
// temporary name, synced and renamed over the old one: after a crash the
// registry is either the old or the new file, never a torn one.
#include "platform/registry.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <functional>

#include "platform/codepage.h"
#include "platform/error.h"
#include "platform/paths.h"
#include "platform/posix/fd_io.h"
#include "platform/posix/registry_store.h"

namespace platform {

using registry_detail::Key;
using registry_detail::Store;
using registry_detail::Value;

namespace {

const char* RootName(RegistryRoot root) {
  switch (root) {
    case RegistryRoot::kClassesRoot: return "HKEY_CLASSES_ROOT";
    case RegistryRoot::kCurrentUser: return "HKEY_CURRENT_USER";
    case RegistryRoot::kLocalMachine: return "HKEY_LOCAL_MACHINE";
    case RegistryRoot::kUsers: return "HKEY_USERS";
    case RegistryRoot::kDynData: return "HKEY_DYN_DATA";
  }
  return "HKEY_INVALID";
}

// The full path of a key: the root's name, then the key's components. Empty
// components (leading, trailing or doubled '\') are dropped.
std::string FullPath(RegistryRoot root, const std::string& key) {
  std::string path = RootName(root);
  size_t start = 0;
  while (start <= key.size()) {
    size_t end = key.find('\\', start);
    if (end == std::string::npos) end = key.size();
    if (end > start) path += "\\" + key.substr(start, end - start);
    start = end + 1;
  }
  return path;
}

bool IsRootPath(const std::string& full_path) {
  return full_path.find('\\') == std::string::npos;
}

bool Fail(int32_t error) {
  SetLastSystemError(error);
  return false;
}

bool MakeDirectories(const std::string& path) {
  for (size_t i = 1; i <= path.size(); ++i) {
    if (i == path.size() || path[i] == '/') {
      std::string part = path.substr(0, i);
      if (mkdir(part.c_str(), 0755) != 0 && errno != EEXIST) return false;
    }
  }
  return true;
}

std::string RegistryFolder() { return VirtualRoot() + "/registry"; }

// The lock file, held for the life of one operation.
class FileLock {
 public:
  explicit FileLock(bool exclusive) {
    std::string folder = RegistryFolder();
    if (!MakeDirectories(folder)) return;
    fd_ = open((folder + "/registry.lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd_ < 0) return;
    int rc;
    do {
      rc = flock(fd_, exclusive ? LOCK_EX : LOCK_SH);
    } while (rc != 0 && errno == EINTR);
    if (rc != 0) {
      close(fd_);
      fd_ = -1;
    }
  }
  ~FileLock() {
    if (fd_ >= 0) {
      flock(fd_, LOCK_UN);
      close(fd_);
    }
  }
  FileLock(const FileLock&) = delete;
  FileLock& operator=(const FileLock&) = delete;
  bool Held() const { return fd_ >= 0; }

 private:
  int fd_ = -1;
};

bool Load(Store* store, std::string* text = nullptr) {
  std::string content;
  // No registry yet reads as an empty one.
  if (!ReadPosixFile(RegistryFolder() + "/registry.txt", &content, true)) return Fail(kErrorReadFault);
  *store = Store::Parse(content);
  if (text) *text = std::move(content);
  return true;
}

bool Save(const Store& store, const std::string& old_text) {
  std::string text = store.Serialize();
  // Writing what is already there (a protocol refreshed on every object
  // creation) costs no disk flush.
  if (text == old_text) return true;
  std::string folder = RegistryFolder();
  std::string temp = folder + "/registry.txt.tmp" + std::to_string(getpid());
  bool write_failed = false;
  if (!ReplaceFileContent(temp, folder + "/registry.txt", text, &write_failed))
    return Fail(write_failed ? kErrorWriteFault : kErrorAccessDenied);
  int dir = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir >= 0) {
    fsync(dir);
    close(dir);
  }
  return true;
}

// Runs `read` on the current registry under a shared lock.
bool WithStore(const std::function<bool(Store&)>& read) {
  FileLock lock(false);
  if (!lock.Held()) return Fail(kErrorAccessDenied);
  Store store;
  if (!Load(&store)) return false;
  return read(store);
}

// Runs `change` under the exclusive lock; saves when it returns true.
bool ChangeStore(const std::function<bool(Store&)>& change) {
  FileLock lock(true);
  if (!lock.Held()) return Fail(kErrorAccessDenied);
  Store store;
  std::string old_text;
  if (!Load(&store, &old_text)) return false;
  if (!change(store)) return false;
  return Save(store, old_text);
}

}  // namespace

bool RegistryCreateKey(RegistryRoot root, const std::string& key) {
  std::string path = FullPath(root, key);
  return ChangeStore([&](Store& store) {
    store.CreateKey(path);
    return true;
  });
}

bool RegistryKeyExists(RegistryRoot root, const std::string& key) {
  std::string path = FullPath(root, key);
  if (IsRootPath(path)) return true;
  return WithStore([&](Store& store) {
    return store.FindKey(path) != nullptr ? true : Fail(kErrorFileNotFound);
  });
}

bool RegistryDeleteKey(RegistryRoot root, const std::string& key) {
  std::string path = FullPath(root, key);
  if (IsRootPath(path)) return Fail(kErrorAccessDenied);
  return ChangeStore([&](Store& store) {
    if (store.FindKey(path) == nullptr) return Fail(kErrorFileNotFound);
    if (store.HasSubKeys(path)) return Fail(kErrorAccessDenied);
    store.EraseTree(path);
    return true;
  });
}

bool RegistryDeleteTree(RegistryRoot root, const std::string& key) {
  std::string path = FullPath(root, key);
  if (IsRootPath(path)) return Fail(kErrorAccessDenied);
  return ChangeStore([&](Store& store) {
    if (store.FindKey(path) == nullptr) return Fail(kErrorFileNotFound);
    store.EraseTree(path);
    return true;
  });
}

// Setting a value creates its key when missing (as RegSetKeyValue does).
bool RegistrySetString(RegistryRoot root, const std::string& key, const std::string& name,
                       const std::string& value) {
  std::string path = FullPath(root, key);
  return ChangeStore([&](Store& store) {
    Key* k = store.CreateKey(path);
    if (Value* v = k->Find(name)) {
      v->is_number = false;
      v->text = value;
      v->number = 0;
    } else {
      k->values.push_back(Value{name, false, value, 0});
    }
    return true;
  });
}

bool RegistrySetNumber(RegistryRoot root, const std::string& key, const std::string& name,
                       uint32_t value) {
  std::string path = FullPath(root, key);
  return ChangeStore([&](Store& store) {
    Key* k = store.CreateKey(path);
    if (Value* v = k->Find(name)) {
      v->is_number = true;
      v->text.clear();
      v->number = value;
    } else {
      k->values.push_back(Value{name, true, std::string(), value});
    }
    return true;
  });
}

// A value of the other kind reads as missing (kErrorFileNotFound).
bool RegistryGetString(RegistryRoot root, const std::string& key, const std::string& name,
                       std::string* value) {
  std::string path = FullPath(root, key);
  return WithStore([&](Store& store) {
    Key* k = store.FindKey(path);
    Value* v = k ? k->Find(name) : nullptr;
    if (v == nullptr || v->is_number) return Fail(kErrorFileNotFound);
    if (value) *value = v->text;
    return true;
  });
}

bool RegistryGetNumber(RegistryRoot root, const std::string& key, const std::string& name,
                       uint32_t* value) {
  std::string path = FullPath(root, key);
  return WithStore([&](Store& store) {
    Key* k = store.FindKey(path);
    Value* v = k ? k->Find(name) : nullptr;
    if (v == nullptr || !v->is_number) return Fail(kErrorFileNotFound);
    if (value) *value = v->number;
    return true;
  });
}

bool RegistryDeleteValue(RegistryRoot root, const std::string& key, const std::string& name) {
  std::string path = FullPath(root, key);
  return ChangeStore([&](Store& store) {
    Key* k = store.FindKey(path);
    if (k == nullptr) return Fail(kErrorFileNotFound);
    for (auto it = k->values.begin(); it != k->values.end(); ++it) {
      if (EqualsNoCase(it->name, name)) {
        k->values.erase(it);
        return true;
      }
    }
    return Fail(kErrorFileNotFound);
  });
}

std::vector<std::string> RegistrySubKeys(RegistryRoot root, const std::string& key) {
  std::string path = FullPath(root, key);
  std::vector<std::string> names;
  WithStore([&](Store& store) {
    names = store.SubKeyNames(path);
    return true;
  });
  return names;
}

std::vector<std::string> RegistryValueNames(RegistryRoot root, const std::string& key) {
  std::string path = FullPath(root, key);
  std::vector<std::string> names;
  WithStore([&](Store& store) {
    if (Key* k = store.FindKey(path)) {
      for (const Value& v : k->values) names.push_back(v.name);
    }
    return true;
  });
  return names;
}

}  // namespace platform
