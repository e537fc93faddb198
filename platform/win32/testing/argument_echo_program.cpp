// A test program: writes its folder and its arguments, as the C runtime
// split them, to the file named by the first argument (UTF-8, one a line)
// and exits with 3; with "--wait" it waits a minute first.
#include <windows.h>

#include <string>

#include "platform/win32/wide.h"

int wmain(int argc, wchar_t** argv) {
  if (argc < 2) return 2;
  std::wstring text;
  wchar_t folder[MAX_PATH] = {};
  GetCurrentDirectoryW(MAX_PATH, folder);
  text += folder;
  text += L"\n";
  bool wait = false;
  for (int i = 2; i < argc; ++i) {
    text += argv[i];
    text += L"\n";
    if (std::wstring(argv[i]) == L"--wait") wait = true;
  }
  std::string bytes = platform::WideToUtf8(text);
  HANDLE out = CreateFileW(argv[1], GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  if (out == INVALID_HANDLE_VALUE) return 2;
  DWORD written = 0;
  WriteFile(out, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
  CloseHandle(out);
  if (wait) Sleep(60000);
  return 3;
}
