// ExtractArchive on hostile zip files: never crashes, never writes outside
// the destination folder.
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "patch/vrel_miniunz.h"
#include "platform/file.h"
#include "platform/paths.h"

namespace kivro {

namespace fs = std::filesystem;

namespace {

struct Sandbox {
  Sandbox() {
    base =
        (fs::temp_directory_path() / ("kivro-unzip-fuzz-" + std::to_string(std::random_device()())))
            .string();
    fs::create_directories(base + "/root");
    setenv("KIVRO_ROOT", (base + "/root").c_str(), 1);
    archive = platform::ToWindowsPath(base + "/in.zip");
    dest = platform::ToWindowsPath(base + "/box/dest");
  }
  std::string base, archive, dest;
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
  unz.ExtractArchive(sandbox.archive.c_str(), sandbox.dest.c_str());
  // The box holds the destination folder and nothing else.
  for (const auto& e : fs::directory_iterator(sandbox.base + "/box"))
    if (e.path().filename() != "dest") std::abort();
  for (const auto& e : fs::directory_iterator(sandbox.base))
    if (e.path().filename() != "box" && e.path().filename() != "in.zip" &&
        e.path().filename() != "root")
      std::abort();
  fs::remove_all(sandbox.base + "/box/dest");
  return 0;
}
