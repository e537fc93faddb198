// What a comparison of a whole install needs from the disk: size and
// last-write time of many files in few folders. Reading each folder once
// costs one directory walk instead of a path lookup and a status call per
// file. Valid for one pass over an unchanging disk; not shared between
// threads.
#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>

#include "platform/filetime.h"

namespace kivro {

class FolderListingCache {
 public:
  struct Entry {
    uint64_t size = 0;
    platform::FileTime write;  // UTC
    bool directory = false;
  };

  // The entry for a Windows file path; null when there is none (missing).
  // Names are matched exactly first, then without regard to case.
  const Entry* Find(const std::string& path);

 private:
  struct Folder {
    std::unordered_map<std::string, Entry> exact;
    std::unordered_map<std::string, const Entry*> folded;
  };
  const Folder& Load(const std::string& folder);

  std::unordered_map<std::string, std::unique_ptr<Folder>> folders_;
};

}  // namespace kivro
