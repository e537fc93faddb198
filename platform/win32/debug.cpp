#include "platform/debug.h"

#include <windows.h>

#include <cstdarg>
#include <cstdio>
#include <string>

#include "platform/win32/console_text.h"
#include "platform/win32/wide.h"

namespace platform {

namespace {
bool TraceEnabled() {
  static const bool enabled = GetEnvironmentVariableW(L"KIVRO_TRACE", nullptr, 0) != 0;
  return enabled;
}
}  // namespace

// Always to the debugger (a debugger or a viewer of debug output sees it);
// to stderr as well when KIVRO_TRACE is set, readable in the console's code
// page or as UTF-8 in a log.
void OutputDebugText(const char* text) {
  if (text == nullptr) return;
  std::wstring wide = Cp949ToWide(text);
  OutputDebugStringW(wide.c_str());
  if (TraceEnabled()) WriteConsoleText(STD_ERROR_HANDLE, wide);
}

void DebugPrintf(const char* format, ...) {
  char line[1024];
  va_list args;
  va_start(args, format);
  vsnprintf(line, sizeof line, format, args);
  va_end(args);
  OutputDebugText(line);
}

}  // namespace platform
