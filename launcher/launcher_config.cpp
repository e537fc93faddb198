#include "launcher/launcher_config.h"

#include "platform/paths.h"

#ifndef KIVRO_DOWNLOAD_HOST
#define KIVRO_DOWNLOAD_HOST "127.0.0.1:18080"
#endif

namespace launcher {

const char* DownloadHost() { return KIVRO_DOWNLOAD_HOST; }

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

}  // namespace launcher
