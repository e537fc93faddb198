// The release manifest: what a signed server tree holds, file by file.
//   kivro-manifest 1
//   published <UTC seconds>
//   <SHA-256 hex>  <size>  <path relative to the server tree>
// one line per file, sorted by path (bytes), two blanks between fields,
// every line ended by "\n". Paths use "/" and are UTF-8, as on the server.
//
// Thread safety: plain values; a parsed manifest is read-only and may be
// shared by threads.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "update/sha256_stream.h"

namespace kivro {

struct ManifestEntry {
  std::string path;
  uint64_t size = 0;
  uint8_t sha256[32] = {};
};

struct ReleaseManifest {
  int64_t published = 0;
  std::vector<ManifestEntry> entries;  // sorted by path, no two alike

  // The entry of `path`, or null.
  const ManifestEntry* Find(std::string_view path) const;
};

// Manifests larger than this are refused unread (a hostile server could
// otherwise make the launcher hold any amount).
constexpr size_t kManifestMaxBytes = 64u << 20;

// Strict: any line out of form, an unsorted or repeated path, or a path that
// is empty, absolute or holds "..", a backslash or a control byte fails.
bool ParseReleaseManifest(std::string_view text, ReleaseManifest* manifest, std::string* error);
// The manifest's text; entries are sorted here.
std::string FormatReleaseManifest(ReleaseManifest manifest);

std::string HexText(const uint8_t* data, size_t size);

// Hashes the first `limit` bytes of a file (all of it when `limit` is
// UINT64_MAX); false when it cannot be read that far.
bool HashFilePrefix(const std::string& path, uint64_t limit, Sha256Stream* hash);

}  // namespace kivro
