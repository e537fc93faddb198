#include "pcroom/pc_room_detection.h"

#include "pcroom/pc_room_tables.h"
#include "pcroom/regex/rexi_search.h"

namespace kivro {

namespace {

std::string ToUpperAscii(std::string text) {
  // Bytes above 0x7F (Hangul lead and trail bytes) stay as they are.
  for (char& c : text)
    if (c >= 'a' && c <= 'z') c = char(c - 'a' + 'A');
  return text;
}

bool PatternFindsIn(REXI_Search& rx, const std::string& name) {
  const char* cursor = name.c_str();
  size_t length = 0;
  bool at_end = false;
  return rx.Find(cursor, length, at_end);
}

bool WindowShown(const PcRoomEnvironment& env, const std::string& title) {
  return env.find_window && env.find_window(title);
}

}  // namespace

bool ListRunningProgramNames(std::vector<std::string>* names, const PcRoomEnvironment& env) {
  names->clear();
  std::vector<std::string> snapshot;
  if (!env.snapshot_processes || !env.snapshot_processes(&snapshot)) return false;
  if (snapshot.empty()) return false;  // no first entry
  for (size_t i = 1; i < snapshot.size(); ++i) {  // the first entry is not used
    std::string name = snapshot[i];
    size_t slash = name.rfind('\\');
    if (slash != std::string::npos) name.erase(0, slash + 1);
    names->push_back(ToUpperAscii(std::move(name)));
  }
  return true;
}

bool DetectByRunningPrograms(char& code, const PcRoomEnvironment& env) {
  std::vector<std::string> names;
  if (!ListRunningProgramNames(&names, env)) return false;
  const std::vector<PcRoomProduct> table = RunningProgramTable();

  // Pattern rows first: a pattern may cover several versions of a product
  // that also has an exact row.
  for (const PcRoomProduct& row : table) {
    if (!row.pattern) continue;
    REXI_Search rx('\0');
    if (rx.SetPattern(row.process).code != 0) continue;
    for (const std::string& name : names) {
      if (PatternFindsIn(rx, name) && WindowShown(env, row.window)) {
        code = char(row.code);
        return true;
      }
    }
  }
  for (const PcRoomProduct& row : table) {
    if (row.pattern) continue;
    const std::string wanted = ToUpperAscii(row.process);
    for (const std::string& name : names) {
      if (name == wanted && WindowShown(env, row.window)) {
        code = char(row.code);
        return true;
      }
    }
  }
  return false;
}

bool DetectByInstalledFiles(char& code, const PcRoomEnvironment& env) {
  if (!env.file_exists) return false;
  const std::string sys = env.system_directory ? env.system_directory() : std::string();
  const std::string win = env.windows_directory ? env.windows_directory() : std::string();
  for (const PcRoomProduct& row : InstalledFilesTable(sys, win)) {
    if (row.files.empty()) continue;
    bool all = true;
    for (const std::string& file : row.files) {
      if (!env.file_exists(file)) {
        all = false;  // the first missing file ends the row
        break;
      }
    }
    if (all) {
      code = char(row.code);
      return true;
    }
  }
  return false;
}

bool DetectPcRoomSoftware(char& code, const PcRoomEnvironment& env) {
  return DetectByRunningPrograms(code, env) || DetectByInstalledFiles(code, env);
}

bool DetectPcRoomSoftware(char& code) {
  return DetectPcRoomSoftware(code, SystemPcRoomEnvironment());
}

}  // namespace kivro
