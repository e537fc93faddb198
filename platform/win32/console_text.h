// Text to a standard handle as its reader can read it (Windows backend
// only): a console gets UTF-16 through WriteConsoleW, whatever its code
// page; a file or a pipe gets UTF-8, as logs are read.
#pragma once
#include <windows.h>

#include <string>

namespace platform {

bool WriteConsoleText(DWORD std_handle, const std::wstring& text);

// Start-up of the program's console, when it has one: the tools print
// UTF-8 (the system's text for terminals), so the console reads UTF-8 while
// the program runs, its code page given back at exit; and it takes terminal
// controls (the erase of a line redrawn in place).
void PrepareConsole();

}  // namespace platform
