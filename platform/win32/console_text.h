// Text to a standard handle as its reader can read it (Windows backend
// only): a console gets UTF-16 through WriteConsoleW, whatever its code
// page; a file or a pipe gets UTF-8, as logs are read.
#pragma once
#include <windows.h>

#include <string>

namespace platform {

bool WriteConsoleText(DWORD std_handle, const std::wstring& text);

}  // namespace platform
