// Helpers of the package tests: a scratch folder and a writer of raw package
// bytes, so tests can build packages the package code itself would refuse
// to write.
#pragma once
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "patch/npk/npk.h"
#include "patch/npk/npk_codec.h"
#include "platform/file.h"
#include "platform/paths.h"

namespace kivro::npk_test {

// A fresh folder under the temporary directory, removed with everything in
// it at the end.
class ScratchFolder {
 public:
  ScratchFolder() {
    std::random_device rd;
    path_ = platform::TempDirectory() + "kivro_npk_" + std::to_string(rd()) + std::to_string(rd());
    platform::CreateDirectoryChain(path_);
  }
  ~ScratchFolder() { platform::RemoveTree(path_); }
  std::string operator/(const std::string& name) const { return path_ + "\\" + name; }
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

inline std::vector<uint8_t> Bytes(size_t n, uint32_t seed, bool compressible = false) {
  std::vector<uint8_t> v(n);
  std::mt19937 rng(seed);
  for (size_t i = 0; i < n; ++i)
    v[i] = compressible ? static_cast<uint8_t>("kivro go board "[(i + seed) % 15])
                        : static_cast<uint8_t>(rng());
  return v;
}

inline bool WriteFile(const std::string& path, const std::vector<uint8_t>& bytes) {
  return platform::WriteWholeFile(path, bytes.data(), bytes.size());
}

inline std::vector<uint8_t> ReadFile(const std::string& path) {
  std::string s;
  platform::ReadWholeFile(path, &s);
  return std::vector<uint8_t>(s.begin(), s.end());
}

// Raw package image.
struct RawEntity {
  std::string name;
  std::vector<uint8_t> content;
  uint32_t flags = 0;
};

inline void Put32(std::vector<uint8_t>* out, uint32_t v) {
  for (int i = 0; i < 4; ++i) out->push_back(uint8_t(v >> (8 * i)));
}

// Encodes the entities with `key` (for version >= 18 also written to the
// header) and lays them out as the package format does. `count_delta`
// shifts the header's entity count.
inline std::vector<uint8_t> BuildPackage(uint32_t version, const std::vector<RawEntity>& entities,
                                         const uint32_t key[4] = kNpkDefaultKey,
                                         int count_delta = 0) {
  std::vector<uint8_t> out = {'N', 'P', 'A', 'K'};
  uint32_t data_offset = version >= 18 ? 36 : 20;
  std::vector<std::vector<uint8_t>> blocks;
  uint32_t table = data_offset;
  for (const RawEntity& e : entities) {
    std::vector<uint8_t> block;
    NpkEncode(e.content.data(), e.content.size(), e.flags, key, &block);
    table += static_cast<uint32_t>(block.size());
    blocks.push_back(std::move(block));
  }
  Put32(&out, version);
  Put32(&out, static_cast<uint32_t>(int(entities.size()) + count_delta));
  Put32(&out, table);
  Put32(&out, data_offset);
  if (version >= 18)
    for (int i = 0; i < 4; ++i) Put32(&out, key[i]);
  uint32_t offset = data_offset;
  for (auto& b : blocks) out.insert(out.end(), b.begin(), b.end());
  for (size_t i = 0; i < entities.size(); ++i) {
    Put32(&out, offset);
    Put32(&out, static_cast<uint32_t>(blocks[i].size()));
    Put32(&out, static_cast<uint32_t>(entities[i].content.size()));
    Put32(&out, entities[i].flags);
    Put32(&out, 0x11223344);  // FILETIME low
    Put32(&out, 0x01C70000);  // FILETIME high
    out.push_back(uint8_t(entities[i].name.size()));
    out.push_back(uint8_t(entities[i].name.size() >> 8));
    out.push_back(0);
    out.push_back(0);
    out.insert(out.end(), entities[i].name.begin(), entities[i].name.end());
    offset += static_cast<uint32_t>(blocks[i].size());
  }
  return out;
}

// The decoded content of the entity `name`, or empty with *code set.
inline std::vector<uint8_t> Decoded(NpkFile* package, const std::string& name,
                                    int32_t* code = nullptr) {
  std::vector<uint8_t> content;
  NpkFileEntity* e = NpkFind(package, name.c_str());
  int32_t rc = e ? NpkReadEntity(package, e, &content) : NPK_ERROR_ENTITY_NOT_IN_PACKAGE;
  if (code) *code = rc;
  if (rc != NPK_SUCCESS) content.clear();
  return content;
}

}  // namespace kivro::npk_test
