// Named kernel objects on POSIX (sections, mutexes): a file in a private
// folder under /dev/shm (memory-backed), one folder per user and virtual
// root, as a Wine prefix has its own objects. Every holder keeps a shared
// flock on the file, so "someone holds it" is "a shared lock exists", and the
// kernel drops the lock when a holder ends, however it ends. A file nobody
// locks is a leftover and counts as absent.
#pragma once
#include <string>

namespace platform::named_object {

enum class OpenMode { kCreateOrOpen, kOpenExisting };

// Opens (or creates) the object file of `kind` ("section", "mutex") and
// `name`, holding a shared lock on it. Returns the descriptor, or -1 with the
// last system error set. `*existed` tells whether another holder had it.
int Open(const char* kind, const std::string& name, OpenMode mode, std::string* path,
         bool* existed);

// Releases a descriptor from Open; the last holder removes the file.
void Close(int fd, const std::string& path);

}  // namespace platform::named_object
