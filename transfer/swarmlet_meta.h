// The meta file of the reference peer-to-peer engine: what a file is and
// where it can be fetched. The release publisher writes one beside every
// file it publishes ("<file URL>.swarmlet"); the engine reads it first.
//
// Format: text lines ending in "\n" (a "\r" before it is ignored), at most
// 64 KiB. Blank lines and lines starting with '#' are skipped.
//
//   KIVRO-SWARMLET 1          first line: magic and format version
//   name a.zip                the file's name in the target folder
//   size 1048576              its length in bytes (below 4 GiB)
//   source http://host/a.zip  one or more HTTP URLs holding the whole file,
//   source http://mirror/a.zip   tried in this order
//   torrent a.zip.torrent     optional: the file's BitTorrent metainfo,
//                             a name beside the meta file (same folder URL)
//
// The swarm engine (swarmlet_engine/torrent_engine.cpp) needs the torrent
// line: it fetches that .torrent (v1, with the file's HTTP URL as web seed)
// and joins the swarm. The meta file stays the one thing the adapter asks
// for, so both engines read the same published tree: the reference engine
// skips the torrent line and fetches from the sources.
//
// Unknown keys are skipped, so later versions can add some. Everything in a
// meta file comes from the network and is checked: the name is one plain
// file name (no folder separators, drive colon, "." or "..", control bytes),
// the size a decimal number, a source an http:// URL; at most 16 sources;
// the torrent a plain file name like the name.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace kivro {

struct SwarmletMeta {
  std::string name;
  uint64_t size = 0;
  std::vector<std::string> sources;
  std::string torrent;  // "" when the release has no torrents
};

constexpr size_t kSwarmletMetaMaxBytes = 64 * 1024;
constexpr size_t kSwarmletMetaMaxSources = 16;
constexpr char kSwarmletMetaMagic[] = "KIVRO-SWARMLET 1";

inline bool SwarmletMetaNameOk(const std::string& name) {
  if (name.empty() || name.size() > 200 || name == "." || name == "..") return false;
  for (char c : name) {
    unsigned char u = static_cast<unsigned char>(c);
    if (u < 0x20 || u == 0x7F || c == '/' || c == '\\' || c == ':') return false;
  }
  return name.front() != ' ' && name.back() != ' ' && name.back() != '.';
}

inline bool SwarmletMetaSourceOk(const std::string& url) {
  if (url.size() < 8 || url.size() > 1024) return false;
  for (size_t i = 0; i < 7; ++i) {
    char c = url[i];
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    if (c != "http://"[i]) return false;
  }
  for (char c : url)
    if (static_cast<unsigned char>(c) <= 0x20 || c == 0x7F) return false;
  return url[7] != '/';
}

// The meta file's text, or "" when `meta` would not read back.
inline std::string WriteSwarmletMeta(const SwarmletMeta& meta) {
  if (!SwarmletMetaNameOk(meta.name) || meta.size >= 0x100000000ull || meta.sources.empty() ||
      meta.sources.size() > kSwarmletMetaMaxSources)
    return std::string();
  std::string text = std::string(kSwarmletMetaMagic) + "\n";
  text += "name " + meta.name + "\n";
  text += "size " + std::to_string(meta.size) + "\n";
  for (const std::string& source : meta.sources) {
    if (!SwarmletMetaSourceOk(source)) return std::string();
    text += "source " + source + "\n";
  }
  if (!meta.torrent.empty()) {
    if (!SwarmletMetaNameOk(meta.torrent)) return std::string();
    text += "torrent " + meta.torrent + "\n";
  }
  return text;
}

// Reads a meta file. False, with a short reason in `*why`, when it is not one.
inline bool ReadSwarmletMeta(const char* data, size_t size, SwarmletMeta* meta, std::string* why) {
  auto fail = [why](const char* reason) {
    if (why != nullptr) *why = reason;
    return false;
  };
  if (size > kSwarmletMetaMaxBytes) return fail("meta file too long");
  SwarmletMeta m;
  bool magic = false, have_name = false, have_size = false;
  size_t pos = 0;
  while (pos < size) {
    size_t end = pos;
    while (end < size && data[end] != '\n') ++end;
    std::string line(data + pos, end - pos);
    pos = end + 1;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty() || line[0] == '#') continue;
    if (line.find('\0') != std::string::npos) return fail("zero byte in meta file");
    if (!magic) {
      if (line != kSwarmletMetaMagic) return fail("not a meta file of format 1");
      magic = true;
      continue;
    }
    size_t blank = line.find(' ');
    std::string key = line.substr(0, blank);
    std::string value = blank == std::string::npos ? std::string() : line.substr(blank + 1);
    if (key == "name") {
      if (have_name || !SwarmletMetaNameOk(value)) return fail("bad name");
      m.name = value;
      have_name = true;
    } else if (key == "size") {
      if (have_size || value.empty() || value.size() > 10) return fail("bad size");
      uint64_t v = 0;
      for (char c : value) {
        if (c < '0' || c > '9') return fail("bad size");
        v = v * 10 + static_cast<uint64_t>(c - '0');
      }
      if (v >= 0x100000000ull) return fail("size of 4 GiB or more");
      m.size = v;
      have_size = true;
    } else if (key == "source") {
      if (!SwarmletMetaSourceOk(value)) return fail("bad source");
      if (m.sources.size() >= kSwarmletMetaMaxSources) return fail("too many sources");
      m.sources.push_back(value);
    } else if (key == "torrent") {
      if (!m.torrent.empty() || !SwarmletMetaNameOk(value)) return fail("bad torrent");
      m.torrent = value;
    }
  }
  if (!magic) return fail("empty meta file");
  if (!have_name || !have_size || m.sources.empty()) return fail("name, size or source missing");
  *meta = std::move(m);
  return true;
}

}  // namespace kivro
