// Decides whether the PC runs one of a fixed list of PC-room management
// programs: first a running program of the list that also shows its main
// window, then a program of the list whose files are all installed.
//
// Every check takes the facilities it needs as a PcRoomEnvironment, so tests
// hand in fake process lists, windows and files; the overloads without one
// use the system's.
#pragma once
#include <functional>
#include <string>
#include <vector>

namespace kivro {

struct PcRoomEnvironment {
  // The process snapshot's executable names in snapshot order, the first
  // entry included (Process32First's, which the checks skip). False when no
  // snapshot can be taken.
  std::function<bool(std::vector<std::string>* exe_names)> snapshot_processes;
  // FindWindow with no class: is there a top-level window with this title?
  std::function<bool(const std::string& title)> find_window;
  // GetPathAttributes succeeds for this path.
  std::function<bool(const std::string& path)> file_exists;
  std::function<std::string()> system_directory;
  std::function<std::string()> windows_directory;
};

// The system's facilities: the process snapshot, the top-level windows of
// the display (none without one), files through the Windows view of paths.
PcRoomEnvironment SystemPcRoomEnvironment();

// True with `code` set to the product's letter; false leaves `code` as the
// caller set it.
bool DetectPcRoomSoftware(char& code);
bool DetectPcRoomSoftware(char& code, const PcRoomEnvironment& env);
bool DetectByRunningPrograms(char& code, const PcRoomEnvironment& env);
bool DetectByInstalledFiles(char& code, const PcRoomEnvironment& env);

// Running programs' names (after the last '\', upper-cased) in snapshot
// order, without the snapshot's first entry. False when the snapshot cannot
// be taken or has no first entry.
bool ListRunningProgramNames(std::vector<std::string>* names, const PcRoomEnvironment& env);

}  // namespace kivro
