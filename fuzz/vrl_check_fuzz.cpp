// A hostile .vrl list driven through the whole check against a scratch
// install folder: the comparison with the files on disk, Verify and the
// removal step. Nothing outside the install folder may be removed or
// changed, and no queued download climbs out of it.
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>

#include "patch/vrel_patch_info.h"
#include "platform/file.h"
#include "platform/paths.h"
#include "platform/thread.h"

namespace kivro {

namespace fs = std::filesystem;

namespace {

struct Sandbox {
  Sandbox() {
    base = (fs::temp_directory_path() / ("kivro-vrl-check-fuzz-" + std::to_string(std::random_device()())))
               .string();
    fs::create_directories(base + "/root");
    fs::create_directories(base + "/tmp");
    setenv("KIVRO_ROOT", (base + "/root").c_str(), 1);
    // <TEMP> in a list is the scratch tree's, never the machine's /tmp.
    setenv("TMPDIR", (base + "/tmp").c_str(), 1);
    install = platform::ToWindowsPath(base + "/game/install");
    Write(base + "/game/outside.txt");
    Write(base + "/root/sentinel.txt");
  }
  static void Write(const std::string& posix) {
    fs::create_directories(fs::path(posix).parent_path());
    platform::WriteWholeFile(platform::ToWindowsPath(posix), "keep", 4);
  }
  // The install folder as a list would find it.
  void Populate() const {
    for (const char* name : {"a.txt", "Game.exe", "data/b.dat", "data/maps/c.map"})
      Write(base + "/game/install/" + name);
  }
  bool SentinelsIntact() const {
    for (const char* name : {"/game/outside.txt", "/root/sentinel.txt"}) {
      std::error_code ec;
      if (!fs::is_regular_file(base + name, ec) || fs::file_size(base + name, ec) != 4) return false;
    }
    return true;
  }
  std::string base, install;
};

}  // namespace

}  // namespace kivro

using namespace kivro;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static Sandbox sandbox;
  static platform::CriticalSection lock;
  sandbox.Populate();
  CBDownloadList list;
  list.SetLock(&lock);
  {
    CVrelPatchInfo info;
    info.SetDownloadList(&list);
    info.SetLocalBase(sandbox.install.c_str());
    info.SetUrlBase("http://dl.test/dist/game/");
    info.SetSubdirMode("N_SUBDIR");
    info.AddVerifyRule("exe", 273);
    info.AddVerifyRule("dll", 17);
    info.ReadBuffer(reinterpret_cast<const char*>(data), size);
    info.BuildDownloadList();
    info.Verify();
    info.Uninstall();
  }
  if (!sandbox.SentinelsIntact()) __builtin_trap();
  for (int32_t i = 0; i < list.GetCount(); ++i) {
    std::string local = list.GetAt(i)->local_path;
    for (char& c : local)
      if (c == '/') c = '\\';
    if (local.find("\\..\\") != std::string::npos) __builtin_trap();
    if (local.size() >= 3 && local.compare(local.size() - 3, 3, "\\..") == 0) __builtin_trap();
  }
  fs::remove_all(sandbox.base + "/game/install");
  return 0;
}
