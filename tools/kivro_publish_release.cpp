#include "tools/kivro_publish_release.h"

#include <algorithm>
#include <cstring>

#include "patch/file_byte_sum.h"
#include "platform/codepage.h"
#include "platform/file.h"
#include "platform/file_mode.h"
#include "platform/filetime.h"

namespace kivro {

namespace {

int64_t LocalOf(platform::FileTime t) {
  return platform::UtcSecondsToLocal(platform::FileTimeToUnix(t));
}

bool EndsWithNpk(const std::string& name) {
  return name.size() > 4 && platform::EqualsNoCase(name.substr(name.size() - 4), ".npk");
}

bool ReadPackage(PublishedFile* file, std::string* error) {
  NpkFile npk;
  NpkSetProgress(&npk, nullptr, 0);  // read whole pieces
  int32_t code = NpkOpen(&npk, file->path.c_str());
  if (code < 0) {
    *error = "cannot read package " + file->path + " (code " + std::to_string(code) +
             "; packages are opened for reading and writing)";
    return false;
  }
  file->package = true;
  file->header = npk.header;
  std::memcpy(file->key, npk.key, sizeof file->key);
  std::vector<uint8_t> content;
  for (NpkFileEntity* e = npk.first; e != nullptr; e = e->next) {
    PublishedEntity entity;
    entity.name = e->name;
    entity.listed = e->name;
    std::replace(entity.listed.begin(), entity.listed.end(), '\\', '^');
    // Every folder of an entity name becomes a list name: check each part.
    size_t start = 0;
    for (;;) {
      size_t end = entity.name.find('\\', start);
      std::string part = entity.name.substr(start, end == std::string::npos ? end : end - start);
      std::string problem = part.find('^') != std::string::npos ? "holds '^'" : NameProblem(part);
      if (!problem.empty()) {
        *error = "entity \"" + entity.name + "\" of " + file->path + ": " + problem;
        return false;
      }
      if (end == std::string::npos) break;
      start = end + 1;
    }
    entity.record = e->info;
    code = NpkReadEntity(&npk, e, &content);
    if (code < 0) {
      *error = "cannot decode entity \"" + entity.name + "\" of " + file->path;
      return false;
    }
    entity.checksum = ByteSum(content.data(), content.size());
    entity.list_time = LocalOf(e->info.modified);
    file->entities.push_back(std::move(entity));
  }
  return true;
}

bool ScanFolder(const std::string& root, const std::string& relative, bool read_packages,
                Release* release, std::string* error) {
  std::string here = relative.empty() ? root : root + "\\" + relative;
  std::vector<platform::DirEntry> entries;
  if (!platform::ListDirectory(here, &entries)) {
    *error = "cannot list " + here;
    return false;
  }
  std::sort(
      entries.begin(), entries.end(),
      [](const platform::DirEntry& a, const platform::DirEntry& b) { return a.name < b.name; });
  for (const platform::DirEntry& entry : entries) {
    std::string problem = NameProblem(entry.name);
    std::string shown = relative.empty() ? entry.name : relative + "\\" + entry.name;
    if (!problem.empty()) {
      *error = "\"" + shown + "\": " + problem;
      return false;
    }
    if (entry.attributes & platform::kAttrDirectory) {
      if (!ScanFolder(root, shown, read_packages, release, error)) return false;
      continue;
    }
    PublishedFile file;
    file.folder = relative;
    file.name = entry.name;
    file.path = here + "\\" + entry.name;
    file.size = entry.size;
    if (file.size > UINT32_MAX) {
      *error = "\"" + shown + "\" is 4 GiB or larger; the lists hold 32-bit sizes";
      return false;
    }
    file.list_time = LocalOf(entry.write);
    file.checksum = FileByteSum(file.path.c_str());
    platform::GetPermissionBits(file.path, &file.mode);
    if (read_packages && EndsWithNpk(entry.name) && !ReadPackage(&file, error)) return false;
    release->files.push_back(std::move(file));
  }
  return true;
}

}  // namespace

std::string NameProblem(const std::string& name) {
  if (name.empty()) return "empty name";
  if (name == "." || name == "..") return "not a name";
  if (name.size() > 99) return "longer than 99 characters";
  for (unsigned char c : name) {
    if (c < 0x20 || c == 0x7f) return "holds a control character";
    if (std::strchr("<>:\"/\\|?*", c) != nullptr) return "holds a character Windows does not allow";
    if (c == ',' || c == '%' || c == '#')
      return "holds ',', '%' or '#', which the lists or URLs cannot carry";
  }
  if (std::strchr(" ![<", name[0]) != nullptr)
    return "starts with a character the list reader takes for a separator, comment, section or "
           "folder";
  if (name.back() == ' ' || name.back() == '.') return "ends with a space or a dot";
  return std::string();
}

bool ScanRelease(const std::string& folder, bool read_packages, Release* release,
                 std::string* error) {
  release->files.clear();
  if (!platform::DirectoryExists(folder)) {
    *error = "no such folder: " + folder;
    return false;
  }
  return ScanFolder(folder, "", read_packages, release, error);
}

}  // namespace kivro
