#include "platform/posix/folder_names.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <list>
#include <mutex>
#include <unordered_map>
#include <vector>


namespace platform {

namespace {

// Folders with fewer entries are read on every lookup, as before.
constexpr size_t kMinCachedEntries = 256;
constexpr size_t kMaxCachedFolders = 8;
// A folder whose time is this close to the moment it was recorded may still
// change within the same clock tick without its time moving.
constexpr int64_t kRacyNanoseconds = 100 * 1000 * 1000;
constexpr auto kRacyTrust = std::chrono::seconds(1);

using Clock = std::chrono::steady_clock;

// Names here are the disk's UTF-8, where no byte of a multi-byte character
// lies below 0x80: folding every ASCII letter is the system's case-blind
// comparison (ASCII only). The code page 949 folding would take some UTF-8
// bytes for lead bytes and leave the letter after them unfolded.
std::string FoldUtf8(std::string name) {
  for (char& c : name)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + ('a' - 'A'));
  return name;
}

struct Stamp {
  dev_t dev = 0;
  ino_t ino = 0;
  struct timespec mtime = {};
  bool operator==(const Stamp& o) const {
    return dev == o.dev && ino == o.ino && mtime.tv_sec == o.mtime.tv_sec && mtime.tv_nsec == o.mtime.tv_nsec;
  }
};

struct Folder {
  std::string dir;
  Stamp stamp;
  Clock::time_point read_at;
  bool racy = false;  // recorded while the folder's time was recent
  // Folded name -> the spellings on disk, in the order the folder listed them.
  std::unordered_map<std::string, std::vector<std::string>> by_folded;
};

std::mutex g_mutex;
std::recursive_mutex g_change_mutex;  // held by a FolderChange of a cached folder
std::list<Folder> g_folders;  // most recently used first

Stamp StampOf(const struct stat& st) {
  Stamp s;
  s.dev = st.st_dev;
  s.ino = st.st_ino;
  s.mtime = st.st_mtim;
  return s;
}

bool StatFolder(const std::string& dir, Stamp* stamp) {
  struct stat st;
  if (stat(dir.empty() ? "/" : dir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return false;
  *stamp = StampOf(st);
  return true;
}

bool IsRecent(const Stamp& stamp) {
  struct timespec now;
  clock_gettime(CLOCK_REALTIME, &now);
  int64_t age = (static_cast<int64_t>(now.tv_sec) - stamp.mtime.tv_sec) * 1000000000LL +
                (now.tv_nsec - stamp.mtime.tv_nsec);
  return age < kRacyNanoseconds;
}

void Record(Folder* f, const Stamp& stamp) {
  f->stamp = stamp;
  f->racy = f->racy || IsRecent(stamp);
}

std::list<Folder>::iterator FindFolder(const std::string& dir) {
  for (auto it = g_folders.begin(); it != g_folders.end(); ++it)
    if (it->dir == dir) return it;
  return g_folders.end();
}

bool Trusted(const Folder& f, const Stamp& now) {
  if (!(f.stamp == now)) return false;
  return !f.racy || Clock::now() - f.read_at < kRacyTrust;
}

// Reads the folder whole: the first match of `name`, and every name when
// the folder is large enough to keep.
std::string ReadFolder(const std::string& dir, const std::string& name) {
  DIR* d = opendir(dir.empty() ? "/" : dir.c_str());
  if (d == nullptr) return std::string();
  // The stamp is taken before reading, so a change made while reading
  // leaves the cache out of step and the next lookup reads again.
  struct stat st;
  bool stamped = fstat(dirfd(d), &st) == 0;
  Clock::time_point read_at = Clock::now();
  std::string found;
  const std::string folded = FoldUtf8(name);
  std::unordered_map<std::string, std::vector<std::string>> names;
  bool keep = stamped;
  while (dirent* e = readdir(d)) {
    if (found.empty() && FoldUtf8(e->d_name) == folded) found = e->d_name;
    if (keep) names[FoldUtf8(e->d_name)].push_back(e->d_name);
  }
  closedir(d);
  if (!keep || names.size() < kMinCachedEntries) return found;

  std::lock_guard<std::mutex> lock(g_mutex);
  auto it = FindFolder(dir);
  if (it == g_folders.end()) {
    if (g_folders.size() >= kMaxCachedFolders) g_folders.pop_back();
    g_folders.emplace_front();
    it = g_folders.begin();
  }
  it->dir = dir;
  it->by_folded = std::move(names);
  it->read_at = read_at;
  it->racy = false;
  Record(&*it, StampOf(st));
  return found;
}

void SplitPath(const std::string& path, std::string* dir, std::string* name) {
  size_t slash = path.rfind('/');
  if (slash == std::string::npos) {
    dir->clear();
    *name = path;
    return;
  }
  *dir = path.substr(0, slash);
  *name = path.substr(slash + 1);
}

}  // namespace

std::string FindNameNoCase(const std::string& dir, const std::string& name) {
  bool cached;
  {
    std::lock_guard<std::mutex> lock(g_mutex);
    cached = FindFolder(dir) != g_folders.end();
  }
  // A change of ours in progress in a cached folder is waited for: its
  // folder time would not match what the cache recorded yet.
  std::unique_lock<std::recursive_mutex> serial;
  if (cached) serial = std::unique_lock<std::recursive_mutex>(g_change_mutex);
  Stamp now;
  if (!StatFolder(dir, &now)) return std::string();
  {
    std::lock_guard<std::mutex> lock(g_mutex);
    auto it = FindFolder(dir);
    if (it != g_folders.end()) {
      if (Trusted(*it, now)) {
        g_folders.splice(g_folders.begin(), g_folders, it);
        auto hit = it->by_folded.find(FoldUtf8(name));
        return hit == it->by_folded.end() ? std::string() : hit->second.front();
      }
      g_folders.erase(it);
    }
  }
  return ReadFolder(dir, name);
}

FolderChange::FolderChange(const std::string& path, const std::string& other) {
  for (const std::string* p : {&path, &other}) {
    if (p->empty()) continue;
    std::string dir, name;
    SplitPath(*p, &dir, &name);
    Watched* w = nullptr;
    for (int i = 0; i < folders_; ++i)
      if (watched_[i].dir == dir) w = &watched_[i];
    if (w == nullptr) {
      w = &watched_[folders_++];
      w->dir = dir;
    }
    w->names[w->count++] = name;
  }
  {
    std::lock_guard<std::mutex> lock(g_mutex);
    bool cached = false;
    for (int i = 0; i < folders_; ++i) cached = cached || FindFolder(watched_[i].dir) != g_folders.end();
    if (!cached) {
      folders_ = 0;
      return;
    }
  }
  // Our own changes to cached folders are made one at a time, so that each
  // can tell its own effect from any other.
  serial_ = std::unique_lock<std::recursive_mutex>(g_change_mutex);
  for (int i = 0; i < folders_; ++i) {
    Watched& w = watched_[i];
    Stamp now;
    bool ok = StatFolder(w.dir, &now);
    std::lock_guard<std::mutex> lock(g_mutex);
    auto it = FindFolder(w.dir);
    if (it == g_folders.end()) continue;
    if (!ok || !(it->stamp == now)) {
      g_folders.erase(it);
      continue;
    }
    w.tracked = true;
    w.before_sec = now.mtime.tv_sec;
    w.before_nsec = now.mtime.tv_nsec;
  }
}

FolderChange::~FolderChange() {
  // The caller reads errno of its change after this runs.
  int saved_errno = errno;
  for (int i = 0; i < folders_; ++i) {
    const Watched& w = watched_[i];
    if (!w.tracked) continue;
    Stamp after;
    bool folder_ok = StatFolder(w.dir, &after);
    bool exists[2] = {false, false};
    for (int k = 0; k < w.count; ++k) {
      struct stat st;
      exists[k] = lstat((w.dir + "/" + w.names[k]).c_str(), &st) == 0;
    }
    std::lock_guard<std::mutex> lock(g_mutex);
    auto it = FindFolder(w.dir);
    if (it == g_folders.end()) continue;
    // Another change (ours on another thread, or another process's) came
    // in since this one began: the cache can no longer tell what the
    // folder holds.
    if (!folder_ok || it->stamp.mtime.tv_sec != w.before_sec || it->stamp.mtime.tv_nsec != w.before_nsec) {
      g_folders.erase(it);
      continue;
    }
    for (int k = 0; k < w.count; ++k) {
      std::vector<std::string>& spellings = it->by_folded[FoldUtf8(w.names[k])];
      auto at = std::find(spellings.begin(), spellings.end(), w.names[k]);
      if (exists[k] && at == spellings.end()) spellings.push_back(w.names[k]);
      if (!exists[k] && at != spellings.end()) spellings.erase(at);
      if (spellings.empty()) it->by_folded.erase(FoldUtf8(w.names[k]));
    }
    Record(&*it, after);
  }
  errno = saved_errno;
}

void ForgetFolderNames() {
  std::lock_guard<std::mutex> lock(g_mutex);
  g_folders.clear();
}

}  // namespace platform
