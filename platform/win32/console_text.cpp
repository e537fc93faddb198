#include "platform/win32/console_text.h"

#include <cstdlib>

#include "platform/win32/file_handle.h"
#include "platform/win32/wide.h"

namespace platform {

bool WriteConsoleText(DWORD std_handle, const std::wstring& text) {
  HANDLE h = GetStdHandle(std_handle);
  if (h == nullptr || h == INVALID_HANDLE_VALUE) return false;
  DWORD mode;
  if (GetConsoleMode(h, &mode)) {
    // One call per text, so lines of several threads do not interleave.
    DWORD written = 0;
    return WriteConsoleW(h, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) != 0;
  }
  std::string bytes = WideToUtf8(text);
  return WriteAllToHandle(h, bytes.data(), bytes.size(), nullptr);
}

namespace {

UINT g_original_output_code_page = 0;

void RestoreCodePage() {
  if (g_original_output_code_page != 0) SetConsoleOutputCP(g_original_output_code_page);
}

}  // namespace

void PrepareConsole() {
  bool console = false;
  for (DWORD which : {STD_OUTPUT_HANDLE, STD_ERROR_HANDLE}) {
    HANDLE h = GetStdHandle(which);
    DWORD mode;
    if (h == nullptr || h == INVALID_HANDLE_VALUE || !GetConsoleMode(h, &mode)) continue;
    console = true;
    SetConsoleMode(h, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING);  // refused before Windows 10
  }
  if (!console || g_original_output_code_page != 0) return;
  UINT original = GetConsoleOutputCP();
  if (original == CP_UTF8 || !SetConsoleOutputCP(CP_UTF8)) return;
  g_original_output_code_page = original;
  std::atexit(RestoreCodePage);
}

}  // namespace platform
