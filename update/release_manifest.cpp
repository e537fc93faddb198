#include "update/release_manifest.h"

#include <algorithm>
#include <cstring>
#include <memory>

#include "platform/file.h"

namespace kivro {

namespace {

constexpr std::string_view kMagic = "kivro-manifest 1";
constexpr std::string_view kPublished = "published ";

bool ParseDecimal(std::string_view text, uint64_t max, uint64_t* value) {
  if (text.empty() || text.size() > 20) return false;
  uint64_t v = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    uint64_t digit = static_cast<uint64_t>(c - '0');
    if (v > (max - digit) / 10) return false;
    v = v * 10 + digit;
  }
  *value = v;
  return true;
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;  // lower case only, as written
}

bool PathAcceptable(std::string_view path) {
  if (path.empty() || path.front() == '/' || path.back() == '/') return false;
  for (char c : path)
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F || c == '\\') return false;
  size_t start = 0;
  while (start <= path.size()) {
    size_t end = path.find('/', start);
    if (end == std::string_view::npos) end = path.size();
    std::string_view segment = path.substr(start, end - start);
    if (segment.empty() || segment == "." || segment == "..") return false;
    start = end + 1;
  }
  return true;
}

}  // namespace

const ManifestEntry* ReleaseManifest::Find(std::string_view path) const {
  auto it = std::lower_bound(entries.begin(), entries.end(), path,
                             [](const ManifestEntry& e, std::string_view p) { return e.path < p; });
  return it != entries.end() && it->path == path ? &*it : nullptr;
}

bool ParseReleaseManifest(std::string_view text, ReleaseManifest* manifest, std::string* error) {
  ReleaseManifest out;
  size_t line_number = 0;
  auto fail = [&](const char* why) {
    *error = "manifest line " + std::to_string(line_number) + ": " + why;
    return false;
  };
  if (text.size() > kManifestMaxBytes) return fail("the manifest is too large");
  while (!text.empty()) {
    ++line_number;
    size_t end = text.find('\n');
    if (end == std::string_view::npos) return fail("the last line has no line feed");
    std::string_view line = text.substr(0, end);
    text.remove_prefix(end + 1);
    if (line_number == 1) {
      if (line != kMagic) return fail("not a kivro-manifest 1 file");
      continue;
    }
    if (line_number == 2) {
      uint64_t published = 0;
      if (line.substr(0, kPublished.size()) != kPublished ||
          !ParseDecimal(line.substr(kPublished.size()), INT64_MAX, &published))
        return fail("expected published <UTC seconds>");
      out.published = static_cast<int64_t>(published);
      continue;
    }
    ManifestEntry entry;
    if (line.size() < 64 + 2 || line.substr(64, 2) != "  ") return fail("expected a SHA-256");
    for (size_t i = 0; i < 32; ++i) {
      int hi = HexValue(line[2 * i]), lo = HexValue(line[2 * i + 1]);
      if (hi < 0 || lo < 0) return fail("the SHA-256 is not lower-case hex");
      entry.sha256[i] = static_cast<uint8_t>(hi << 4 | lo);
    }
    line.remove_prefix(66);
    size_t gap = line.find("  ");
    if (gap == std::string_view::npos || !ParseDecimal(line.substr(0, gap), UINT64_MAX, &entry.size))
      return fail("expected a size");
    entry.path = std::string(line.substr(gap + 2));
    if (!PathAcceptable(entry.path)) return fail("the path is not a plain relative path");
    if (!out.entries.empty() && !(out.entries.back().path < entry.path))
      return fail("paths out of order or repeated");
    out.entries.push_back(std::move(entry));
  }
  if (line_number < 2) return fail("the manifest is incomplete");
  *manifest = std::move(out);
  return true;
}

std::string FormatReleaseManifest(ReleaseManifest manifest) {
  std::sort(manifest.entries.begin(), manifest.entries.end(),
            [](const ManifestEntry& a, const ManifestEntry& b) { return a.path < b.path; });
  std::string text = std::string(kMagic) + "\n" + std::string(kPublished) +
                     std::to_string(manifest.published) + "\n";
  for (const ManifestEntry& e : manifest.entries)
    text += HexText(e.sha256, 32) + "  " + std::to_string(e.size) + "  " + e.path + "\n";
  return text;
}

std::string HexText(const uint8_t* data, size_t size) {
  static const char kHex[] = "0123456789abcdef";
  std::string text;
  text.reserve(size * 2);
  for (size_t i = 0; i < size; ++i) {
    text += kHex[data[i] >> 4];
    text += kHex[data[i] & 15];
  }
  return text;
}

bool HashFilePrefix(const std::string& path, uint64_t limit, Sha256Stream* hash) {
  platform::File file;
  if (!file.Open(path, platform::File::kRead, platform::File::Mode::kOpenExisting)) return false;
  constexpr size_t kChunk = 1 << 20;
  std::unique_ptr<char[]> buffer(new char[kChunk]);
  uint64_t left = limit;
  while (left > 0) {
    size_t want = left < kChunk ? static_cast<size_t>(left) : kChunk;
    int64_t got = file.Read(buffer.get(), want);
    if (got < 0) return false;
    if (got == 0) return limit == UINT64_MAX;
    hash->Update(buffer.get(), static_cast<size_t>(got));
    left -= static_cast<uint64_t>(got);
  }
  return true;
}

}  // namespace kivro
