// ExtractArchive on hostile zip files: never crashes, never writes outside
// the destination folder (anywhere in the scratch tree or the virtual root),
// and with a named file never leaves it larger than its bound.
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "patch/vrel_miniunz.h"
#include "platform/file.h"
#include "platform/paths.h"

namespace kivro {

namespace fs = std::filesystem;

namespace {

// Every path below `top` except the subtree `skip`, with its size (-1 for a
// folder, -2 for anything else).
std::map<std::string, int64_t> Listing(const std::string& top, const std::string& skip) {
  std::map<std::string, int64_t> out;
  std::error_code ec;
  for (auto it = fs::recursive_directory_iterator(top, ec); !ec && it != fs::end(it);
       it.increment(ec)) {
    std::string path = it->path().string();
    if (path == skip) {
      it.disable_recursion_pending();
      continue;
    }
    auto status = it->symlink_status();
    out[path] = fs::is_regular_file(status) ? static_cast<int64_t>(it->file_size())
                                            : fs::is_directory(status) ? -1 : -2;
  }
  return out;
}

struct Sandbox {
  Sandbox() {
    base =
        (fs::temp_directory_path() / ("kivro-unzip-fuzz-" + std::to_string(std::random_device()())))
            .string();
    fs::create_directories(base + "/root");
    setenv("KIVRO_ROOT", (base + "/root").c_str(), 1);
    archive = platform::ToWindowsPath(base + "/in.zip");
    dest = platform::ToWindowsPath(base + "/box/dest");
    named = dest + "\\a.txt";
    fs::create_directories(base + "/box/dest");
    platform::WriteWholeFile(archive, "", 0);
    // A file beside the destination and one in the root: neither may change.
    platform::WriteWholeFile(platform::ToWindowsPath(base + "/box/sentinel"), "keep", 4);
    platform::WriteWholeFile(platform::ToWindowsPath(base + "/root/sentinel"), "keep", 4);
    before = Listing(base, base + "/box/dest");
  }
  std::string base, archive, dest, named;
  std::map<std::string, int64_t> before;
};

int32_t NeverStop() { return 0; }

}  // namespace

}  // namespace kivro

using namespace kivro;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static Sandbox sandbox;
  platform::WriteWholeFile(sandbox.archive, data, size);
  fs::create_directories(sandbox.base + "/box/dest");
  CVrelMiniunz unz(NeverStop, nullptr, nullptr, nullptr);
  // Odd sizes also name a file with a small bound, as a list does.
  constexpr uint64_t kBound = 1000;
  bool named = (size & 1) != 0;
  unz.ExtractArchive(sandbox.archive.c_str(), sandbox.dest.c_str(),
                     named ? sandbox.named.c_str() : nullptr, kBound);
  // Only the destination folder changed (the archive keeps its name; its
  // size is the input's).
  std::map<std::string, int64_t> after = Listing(sandbox.base, sandbox.base + "/box/dest");
  after[sandbox.base + "/in.zip"] = sandbox.before[sandbox.base + "/in.zip"];
  if (after != sandbox.before) std::abort();
  if (named) {
    std::error_code ec;
    for (const auto& e : fs::directory_iterator(sandbox.base + "/box/dest", ec)) {
      std::string name = e.path().filename().string();
      for (char& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
      if (name == "a.txt" && e.is_regular_file() && e.file_size() > kBound) std::abort();
    }
  }
  fs::remove_all(sandbox.base + "/box/dest");
  return 0;
}
