// The release as the publisher sees it: every plain file and every package
// (a file whose name ends in ".npk") of a release folder, with what the
// patch lists say about them, in a fixed order (folders and names sorted by
// their bytes) so that publishing is deterministic.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "patch/npk/npk.h"

namespace kivro {

struct PublishedEntity {
  std::string name;    // inside the package, '\' between folders
  std::string listed;  // as the list names it: '^' for '\'
  NpkEntityRecord record;
  uint32_t checksum = 0;  // byte sum of the plain content
  int64_t list_time = 0;  // the entity's FILETIME as local calendar seconds
  uint32_t archive_size = 0;
};

struct PublishedFile {
  std::string folder;  // "" at the root, else "data\sub" (no outer backslashes)
  std::string name;
  std::string path;  // Windows path in the release folder
  uint64_t size = 0;
  int64_t list_time = 0;  // last-write time as local calendar seconds
  uint32_t checksum = 0;  // FileByteSum
  uint32_t mode = 0644;   // POSIX permission bits
  uint32_t archive_size = 0;
  bool package = false;
  NpkHeader header;                       // packages only
  uint32_t key[4] = {};                   // packages only
  std::vector<PublishedEntity> entities;  // packages only, in table order

  // "\" or "\data\sub": the folder as a patch list stores it.
  std::string ListFolder() const { return folder.empty() ? "\\" : "\\" + folder; }
};

struct Release {
  std::vector<PublishedFile> files;  // plain files and packages, sorted
};

// Reads a release folder (a Windows path). With `read_packages` false,
// ".npk" files are plain files too (the list-patch format has no packages).
// False with a message when a name cannot be published or a package cannot
// be read.
bool ScanRelease(const std::string& folder, bool read_packages, Release* release,
                 std::string* error);

// Why a file, folder or entity name cannot be carried by the patch lists
// (empty when it can).
std::string NameProblem(const std::string& name);

}  // namespace kivro
