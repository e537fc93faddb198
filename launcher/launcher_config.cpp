#include "launcher/launcher_config.h"

#include "launcher/build_settings.h"
#include "platform/paths.h"

namespace kivro::launcher {

namespace {

std::vector<std::string> SplitHosts(const std::string& list) {
  std::vector<std::string> hosts;
  size_t start = 0;
  while (start <= list.size()) {
    size_t end = list.find(',', start);
    if (end == std::string::npos) end = list.size();
    std::string host = list.substr(start, end - start);
    while (!host.empty() && host.front() == ' ') host.erase(0, 1);
    while (!host.empty() && host.back() == ' ') host.pop_back();
    if (!host.empty()) hosts.push_back(host);
    start = end + 1;
  }
  return hosts;
}

}  // namespace

const char* DownloadHost() {
  static const std::string first = [] {
    std::vector<std::string> hosts = SplitHosts(BuiltInDownloadHosts());
    return hosts.empty() ? std::string() : hosts[0];
  }();
  return first.c_str();
}

std::vector<std::string> MirrorHosts() {
  std::vector<std::string> hosts = SplitHosts(BuiltInDownloadHosts());
  if (!hosts.empty()) hosts.erase(hosts.begin());
  return hosts;
}

const char* ReleaseKey() { return BuiltInReleaseKey(); }

LauncherPaths FormLauncherPaths(const std::string& windows_directory, const std::string& host) {
  // Only the drive letter of the Windows directory counts; an empty one
  // (which the platform never gives) falls back to C like a fresh install.
  const std::string drive(1, windows_directory.empty() ? 'C' : windows_directory[0]);
  LauncherPaths paths;
  paths.install_folder = drive + ":\\Zelmora\\KOREAN\\Gobanvista";
  paths.patch_list_path = drive + ":\\Zelmora\\KOREAN\\Gobanvista\\gobanvista.vrl";
  paths.game_executable = drive + ":\\Zelmora\\KOREAN\\Gobanvista\\Gobanvista.exe";
  paths.patch_list_url = "http://" + host + "/vrl/newvrl/gobanvista.vrl";
  paths.url_base = "http://" + host + "/dist/gobanvista/";
  return paths;
}

LauncherPaths CurrentLauncherPaths() {
  return FormLauncherPaths(platform::WindowsDirectory(), DownloadHost());
}

}  // namespace kivro::launcher
