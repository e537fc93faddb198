#include "patch/folder_listing_cache.h"

#include <vector>

#include "platform/codepage.h"
#include "platform/file.h"

namespace kivro {

const FolderListingCache::Folder& FolderListingCache::Load(const std::string& folder) {
  std::string key = platform::ToLowerAscii(folder);
  auto it = folders_.find(key);
  if (it != folders_.end()) return *it->second;
  auto loaded = std::make_unique<Folder>();
  std::vector<platform::DirEntry> entries;
  // A folder that cannot be listed holds nothing: its files are missing.
  if (platform::ListDirectory(folder, &entries)) {
    loaded->exact.reserve(entries.size());
    for (platform::DirEntry& e : entries) {
      Entry entry;
      entry.size = e.size;
      entry.write = e.write;
      entry.directory = (e.attributes & platform::kAttrDirectory) != 0;
      auto placed = loaded->exact.emplace(std::move(e.name), entry).first;
      loaded->folded.emplace(platform::ToLowerAscii(placed->first), &placed->second);
    }
  }
  return *folders_.emplace(std::move(key), std::move(loaded)).first->second;
}

const FolderListingCache::Entry* FolderListingCache::Find(const std::string& path) {
  size_t slash = path.find_last_of("\\/");
  if (slash == std::string::npos || slash + 1 >= path.size()) return nullptr;
  const Folder& folder = Load(path.substr(0, slash));
  std::string name = path.substr(slash + 1);
  auto exact = folder.exact.find(name);
  if (exact != folder.exact.end()) return &exact->second;
  auto folded = folder.folded.find(platform::ToLowerAscii(name));
  return folded == folder.folded.end() ? nullptr : folded->second;
}

}  // namespace kivro
