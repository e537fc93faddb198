// Case-blind name lookup in a folder, with a per-process cache of the names
// of large folders.
//
// Finding "a.txt" when the disk holds "A.TXT" means reading the whole
// folder. An update that adds two thousand files to one folder would read
// it a few times per file; the cache reads it once and then follows the
// folder's modification time. Our own changes to a cached folder go through
// `FolderChange`, which keeps the cache in step with them instead of
// invalidating it.
//
// What another process changes is seen through the folder's modification
// time. A folder changed within the last moments can be changed again
// without its time moving (file systems stamp changes at clock-tick
// granularity), so such a folder's cached names are trusted for at most one
// second after it was read; after that it is read again.
//
// Folders with few entries are not cached: reading them is cheap.
// Thread safety: every function may be called from any thread.
#pragma once
#include <mutex>
#include <string>

namespace platform {

// The name in POSIX folder `dir` that equals `name` without regard to case
// (the first one the folder lists), or empty when there is none.
std::string FindNameNoCase(const std::string& dir, const std::string& name);

// Brackets one change of ours to the entries at POSIX paths `path` and
// `other` (creating, removing or renaming them; `other` is the second name
// of a rename, or empty): built before the change, destroyed after it,
// whether the change worked or not.
class FolderChange {
 public:
  explicit FolderChange(const std::string& path, const std::string& other = std::string());
  ~FolderChange();
  FolderChange(const FolderChange&) = delete;
  FolderChange& operator=(const FolderChange&) = delete;

 private:
  struct Watched {
    std::string dir;
    std::string names[2];
    int count = 0;
    bool tracked = false;  // cached and in step before the change
    long long before_sec = 0, before_nsec = 0;  // the folder's time before the change
  };
  Watched watched_[2];
  int folders_ = 0;
  std::unique_lock<std::recursive_mutex> serial_;
};

// For tests: forgets every cached folder.
void ForgetFolderNames();

}  // namespace platform
