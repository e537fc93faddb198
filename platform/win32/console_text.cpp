#include "platform/win32/console_text.h"

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

}  // namespace platform
