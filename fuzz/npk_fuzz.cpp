// Package files are outside input: opening any bytes and decoding every
// entity must be safe. When everything decodes, the package is saved under
// another key and reopened, and every entity must decode to the same bytes.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "patch/npk/npk.h"
#include "platform/file.h"
#include "platform/paths.h"

namespace kivro {

namespace {

std::string ScratchPath(const char* suffix) {
  static const std::string base = [] {
    std::random_device rd;
    return platform::TempDirectory() + "kivro_npk_fuzz_" + std::to_string(rd());
  }();
  return base + suffix;
}

// Removes the two scratch files after each input (libFuzzer ends without
// running exit handlers).
struct ScratchGuard {
  ~ScratchGuard() {
    platform::RemoveFile(ScratchPath(".npk"));
    platform::RemoveFile(ScratchPath("_saved.npk"));
  }
};

}  // namespace

}  // namespace kivro

using namespace kivro;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  ScratchGuard guard;
  const std::string input = ScratchPath(".npk"), output = ScratchPath("_saved.npk");
  if (!platform::WriteWholeFile(input, data, size)) abort();
  std::vector<std::pair<std::string, std::vector<uint8_t>>> decoded;
  bool all_decoded = true;
  {
    NpkFile package;
    if (NpkOpen(&package, input.c_str()) != NPK_SUCCESS) return 0;
    for (NpkFileEntity* e = package.first; e != nullptr; e = e->next) {
      std::vector<uint8_t> content;
      if (NpkReadEntity(&package, e, &content) != NPK_SUCCESS) {
        all_decoded = false;
        continue;
      }
      if (content.size() != e->info.unpacked_size) abort();
      decoded.emplace_back(e->name, std::move(content));
    }
    if (!all_decoded || decoded.empty()) return 0;
    NpkSetKey(&package, 0x01020304, 5, 6, 7);
    NpkSetNewFlags(package.first, package.first->info.flags ^ NPK_FLAG_COMPRESSED);
    if (NpkSave(&package, output.c_str(), true) != NPK_SUCCESS) return 0;
  }
  NpkFile saved;
  if (NpkOpen(&saved, output.c_str()) != NPK_SUCCESS) abort();
  // Names may hold any byte, so entities are matched by chain order.
  NpkFileEntity* e = saved.first;
  for (auto& [name, content] : decoded) {
    std::vector<uint8_t> again;
    if (e == nullptr || e->name != name || NpkReadEntity(&saved, e, &again) != NPK_SUCCESS ||
        again != content)
      abort();
    e = e->next;
  }
  if (e != nullptr) abort();
  return 0;
}
