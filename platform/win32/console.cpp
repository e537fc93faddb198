#include "platform/console.h"

#include <windows.h>

#include <fcntl.h>
#include <io.h>

#include <cstdio>

namespace platform {

namespace {

HANDLE Handle(ConsoleStream stream) {
  return GetStdHandle(stream == ConsoleStream::kOut ? STD_OUTPUT_HANDLE : STD_ERROR_HANDLE);
}

bool ConsoleMode(ConsoleStream stream, DWORD* mode) {
  HANDLE h = Handle(stream);
  return h != nullptr && h != INVALID_HANDLE_VALUE && GetConsoleMode(h, mode) != 0;
}

}  // namespace

bool IsTerminal(ConsoleStream stream) {
  DWORD mode;
  return ConsoleMode(stream, &mode);
}

int TerminalColumns(ConsoleStream stream) {
  if (!IsTerminal(stream)) return 0;
  CONSOLE_SCREEN_BUFFER_INFO info;
  if (!GetConsoleScreenBufferInfo(Handle(stream), &info)) return 0;
  return info.srWindow.Right - info.srWindow.Left + 1;
}

bool MakeStreamBinary(ConsoleStream stream) {
  std::fflush(stream == ConsoleStream::kOut ? stdout : stderr);
  return _setmode(stream == ConsoleStream::kOut ? 1 : 2, _O_BINARY) != -1;
}

// The terminal control where the console takes them (Windows 10 and later,
// switched on at start-up); an older console would print it, so nothing.
const char* EraseToLineEnd() {
  DWORD mode = 0;
  if (ConsoleMode(ConsoleStream::kOut, &mode) && !(mode & ENABLE_VIRTUAL_TERMINAL_PROCESSING)) return "";
  return "\x1b[K";
}

}  // namespace platform
