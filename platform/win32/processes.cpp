#include "platform/processes.h"

#include <windows.h>
#include <tlhelp32.h>

#include "platform/win32/win_error.h"
#include "platform/win32/wide.h"

namespace platform {

namespace {
constexpr size_t kExeFileMax = 259;  // Tool Help's 260-character field
}  // namespace

bool SnapshotProcesses(std::vector<ProcessEntry>* entries) {
  entries->clear();
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  if (snapshot == INVALID_HANDLE_VALUE) return FailWithLastError();
  PROCESSENTRY32W entry{};
  entry.dwSize = sizeof entry;
  bool more = Process32FirstW(snapshot, &entry) != 0;
  if (!more) {
    FailWithLastError();
    CloseHandle(snapshot);
    return false;
  }
  for (; more; more = Process32NextW(snapshot, &entry) != 0) {
    ProcessEntry e;
    e.process_id = entry.th32ProcessID;
    e.parent_id = entry.th32ParentProcessID;
    e.exe_file = WideToCp949(entry.szExeFile);
    // Code page 949 may take more bytes than the characters; cut at a
    // character's end.
    if (e.exe_file.size() > kExeFileMax) {
      size_t cut = 0;
      for (size_t i = 0; i < e.exe_file.size();) {
        size_t width = static_cast<unsigned char>(e.exe_file[i]) >= 0x81 ? 2 : 1;
        if (i + width > kExeFileMax) break;
        i += width;
        cut = i;
      }
      e.exe_file.resize(cut);
    }
    entries->push_back(std::move(e));
    entry.dwSize = sizeof entry;
  }
  CloseHandle(snapshot);
  // Windows lists the idle process first; systems that imitate it (Wine)
  // may not, and callers rely on the pseudo-entry.
  if (entries->empty() || entries->front().process_id != 0)
    entries->insert(entries->begin(), ProcessEntry{0, 0, "[System Process]"});
  return true;
}

}  // namespace platform
