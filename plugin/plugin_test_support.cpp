#include "plugin/plugin_test_support.h"

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <thread>

#include "platform/paths.h"

namespace kivro::plugin {

namespace fs = std::filesystem;

void PluginTest::SetUp() {
  std::random_device random;
  fs::path dir = fs::temp_directory_path() / ("kivro-plugin-test-" + std::to_string(random()));
  fs::create_directories(dir);
  root_ = dir.string();
  setenv("KIVRO_ROOT", root_.c_str(), 1);
  unsetenv("KIVRO_WINDIR");
  setenv("XDG_DATA_HOME", (root_ + "/xdg-data").c_str(), 1);
  setenv("XDG_CONFIG_HOME", (root_ + "/xdg-config").c_str(), 1);
  fs::create_directories(WindowsFolder());
}

void PluginTest::TearDown() {
  std::error_code ignored;
  fs::remove_all(root_, ignored);
  unsetenv("KIVRO_ROOT");
  unsetenv("XDG_DATA_HOME");
  unsetenv("XDG_CONFIG_HOME");
}

std::string PluginTest::WindowsFolder() const {
  return platform::ToPosixPath(platform::WindowsDirectory());
}

std::string PluginTest::PlaceRecorder(const std::string& folder, const std::string& name,
                                      const std::string& log, int delay_ms) {
  fs::create_directories(folder);
  std::string path = folder + "/" + name;
  std::string out = root_ + "/" + log;
  std::ofstream(path) << "#!/bin/sh\n"
                      << (delay_ms > 0 ? "sleep " + std::to_string(delay_ms / 1000.0) + "\n" : "")
                      << "{ echo \"$#\"; for a in \"$@\"; do echo \"$a\"; done; } > '" << out
                      << ".part'\nmv '" << out << ".part' '" << out << "'\n";
  fs::permissions(path, fs::perms::owner_all | fs::perms::group_read | fs::perms::others_read);
  return path;
}

std::string PluginTest::Read(const std::string& path) {
  std::ifstream in(path);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

bool PluginTest::Exists(const std::string& path) { return fs::exists(path); }

bool PluginTest::StartHolder(platform::Process* holder, std::vector<std::string> args) {
  static int counter = 0;
  std::string ready = root_ + "/ready" + std::to_string(++counter);
  args.push_back(ready);
  if (!holder->Start("Z:" KIVRO_TEST_HOLDER_PROGRAM, args)) return false;
  for (int i = 0; i < 500; ++i) {
    if (Exists(ready)) return true;
    if (holder->Wait(0)) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return false;
}

}  // namespace kivro::plugin
