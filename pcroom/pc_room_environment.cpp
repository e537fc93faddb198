// The system's facilities for PC-room detection.
#include "pcroom/pc_room_detection.h"
#include "platform/file.h"
#include "platform/paths.h"
#include "platform/processes.h"

namespace {

std::function<bool(const std::string&)>& WindowFinder() {
  static std::function<bool(const std::string&)> finder;
  return finder;
}

}  // namespace

void SetPcRoomWindowFinder(std::function<bool(const std::string& title)> finder) {
  WindowFinder() = std::move(finder);
}

PcRoomEnvironment SystemPcRoomEnvironment() {
  PcRoomEnvironment env;
  env.snapshot_processes = [](std::vector<std::string>* names) {
    std::vector<platform::ProcessEntry> entries;
    if (!platform::SnapshotProcesses(&entries)) return false;
    names->clear();
    for (const auto& e : entries) names->push_back(e.exe_file);
    return true;
  };
  // Until the platform offers a top-level window search, none is found, so
  // the running-program check finds nothing and the installed-files check
  // decides alone.
  env.find_window = [](const std::string& title) {
    const auto& finder = WindowFinder();
    return finder ? finder(title) : false;
  };
  env.file_exists = [](const std::string& path) {
    return platform::GetFileAttributes(path) != platform::kInvalidFileAttributes;
  };
  env.system_directory = [] { return platform::SystemDirectory(); };
  env.windows_directory = [] { return platform::WindowsDirectory(); };
  return env;
}
