// kivro_test_top_window TITLE LOG answer|silent [Name=number]...
// A top-level window for tests: it carries the given properties, appends
// "message wparam lparam" to LOG for every message it is sent, and answers
// 1 (or never takes messages, with "silent"). LOG appears once the window is
// ready. It ends when killed or when the program that started it ends.
#include <windows.h>
#include <tlhelp32.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/top_windows.h"
#include "platform/win32/wide.h"

namespace {

// The process that started this one, opened for waiting; null if gone.
HANDLE OpenParent() {
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  if (snapshot == INVALID_HANDLE_VALUE) return nullptr;
  DWORD self = GetCurrentProcessId(), parent = 0;
  PROCESSENTRY32W entry{};
  entry.dwSize = sizeof entry;
  for (BOOL more = Process32FirstW(snapshot, &entry); more; more = Process32NextW(snapshot, &entry)) {
    if (entry.th32ProcessID == self) parent = entry.th32ParentProcessID;
  }
  CloseHandle(snapshot);
  return parent != 0 ? OpenProcess(SYNCHRONIZE, FALSE, parent) : nullptr;
}

void AppendLine(const std::wstring& path, const std::string& line) {
  HANDLE file = CreateFileW(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                            0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return;
  DWORD written = 0;
  WriteFile(file, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
  CloseHandle(file);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 4) {
    std::fprintf(stderr, "usage: kivro_test_top_window TITLE LOG answer|silent [Name=number]...\n");
    return 2;
  }
  HANDLE parent = OpenParent();
  std::wstring log = argv[2];
  bool answer = std::wstring(argv[3]) == L"answer";
  platform::MessageWindow window;
  if (!window.Create(platform::WideToCp949(argv[1]),
                     [&](platform::TopWindow, uint32_t message, uintptr_t w, intptr_t l) {
                       AppendLine(log, std::to_string(message) + " " + std::to_string(w) + " " +
                                           std::to_string(l) + "\n");
                       return intptr_t{1};
                     })) {
    std::fprintf(stderr, "no window system\n");
    return 1;
  }
  for (int i = 4; i < argc; ++i) {
    std::string item = platform::WideToCp949(argv[i]);
    size_t eq = item.find('=');
    if (eq == std::string::npos) continue;
    window.SetProperty(item.substr(0, eq), std::strtoull(item.c_str() + eq + 1, nullptr, 0));
  }
  std::wstring temp = log + L".part";
  HANDLE ready = CreateFileW(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  if (ready != INVALID_HANDLE_VALUE) CloseHandle(ready);
  MoveFileExW(temp.c_str(), log.c_str(), MOVEFILE_REPLACE_EXISTING);
  for (;;) {
    if (parent != nullptr && WaitForSingleObject(parent, 0) == WAIT_OBJECT_0) break;
    if (answer) window.Pump(50);
    else Sleep(50);
  }
  return 0;
}
