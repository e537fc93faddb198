// The system's facilities for PC-room detection.
#include "pcroom/pc_room_detection.h"
#include "platform/file.h"
#include "platform/paths.h"
#include "platform/processes.h"
#include "platform/top_windows.h"

namespace kivro {

PcRoomEnvironment SystemPcRoomEnvironment() {
  PcRoomEnvironment env;
  env.snapshot_processes = [](std::vector<std::string>* names) {
    std::vector<platform::ProcessEntry> entries;
    if (!platform::SnapshotProcesses(&entries)) return false;
    names->clear();
    for (const auto& e : entries) names->push_back(e.exe_file);
    return true;
  };
  // Without a display there are no top-level windows: the running-program
  // check then finds nothing and the installed-files check decides alone.
  env.find_window = [](const std::string& title) {
    return platform::FindTopLevelWindow(title) != 0;
  };
  env.file_exists = [](const std::string& path) {
    return platform::GetPathAttributes(path) != platform::kInvalidFileAttributes;
  };
  env.system_directory = [] { return platform::SystemDirectory(); };
  env.windows_directory = [] { return platform::WindowsDirectory(); };
  return env;
}

}  // namespace kivro
