// The launcher's fixed configuration. The program reads no options and no
// configuration files: everything is a constant, and every path lives behind
// the drive letter of the Windows directory.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "update/i_manager.h"

namespace kivro::launcher {

// The download server's host ("host" or "host:port"), fixed at build time:
// the first of the built-in hosts.
const char* DownloadHost();
// The other built-in hosts: mirrors tried in turn when a host fails.
std::vector<std::string> MirrorHosts();
// The built-in release key's base64 line; empty: releases are not checked.
const char* ReleaseKey();

// The paths and URLs the launcher hands to the update manager. A path is
// the drive letter of `windows_directory` followed by a fixed tail.
struct LauncherPaths {
  std::string install_folder;   // D:\Zelmora\KOREAN\Gobanvista
  std::string patch_list_path;  // ...\gobanvista.vrl
  std::string game_executable;  // ...\Gobanvista.exe
  std::string patch_list_url;   // http://<host>/vrl/newvrl/gobanvista.vrl
  std::string url_base;         // http://<host>/dist/gobanvista/
};

// Forms the paths from a Windows directory (only its first character, the
// drive letter, is used) and a download host.
LauncherPaths FormLauncherPaths(const std::string& windows_directory, const std::string& host);
// The paths of this machine: the platform's Windows directory and the
// built-in host.
LauncherPaths CurrentLauncherPaths();

constexpr int32_t kPatchInfoKind = kPatchInfoVrel;
constexpr int32_t kDownloaderKind = kDownloaderNet;
constexpr const char* kSubdirMode = "N_SUBDIR";  // flat URLs

// The framework's registry key (kept for the record: nothing is stored
// under it by this program).
constexpr const char* kRegistryKey =
    "\xB7\xCE\xC4\xC3 \xC0\xC0\xBF\xEB \xC7\xC1\xB7\xCE\xB1\xD7\xB7\xA5 "
    "\xB8\xB6\xB9\xFD\xBB\xE7\xBF\xA1\xBC\xAD \xBB\xFD\xBC\xBA\xC7\xD1 "
    "\xC0\xC0\xBF\xEB \xC7\xC1\xB7\xCE\xB1\xD7\xB7\xA5";

}  // namespace kivro::launcher
