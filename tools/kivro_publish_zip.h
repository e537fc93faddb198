// Zip archives as the publisher writes them: deflated entries with the
// file's own time as the entry time (never the time of publishing) and the
// POSIX permission bits, so the same release always gives the same bytes
// and an installed program keeps its execute bit.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace kivro {

struct ZipSource {
  std::string entry_name;              // as stored (code page 949), '/' between folders
  std::string file_path;               // Windows path of the content; unused when `bytes` is set
  const std::string* bytes = nullptr;  // content in memory
  int64_t list_time = 0;               // local calendar seconds: the entry's DOS time
  uint32_t mode = 0644;                // POSIX permission bits
};

// Writes `archive_path` (created or replaced) with the entries in order.
// False with a message on failure.
bool WriteZip(const std::string& archive_path, const std::vector<ZipSource>& entries,
              std::string* error);

}  // namespace kivro
