#include "platform/console.h"

#include <sys/ioctl.h>
#include <unistd.h>

namespace platform {

namespace {
int Descriptor(ConsoleStream stream) { return stream == ConsoleStream::kOut ? STDOUT_FILENO : STDERR_FILENO; }
}  // namespace

// ANSI/VT100 "erase in line", which every POSIX terminal understands.
bool MakeStreamBinary(ConsoleStream) { return true; }  // POSIX streams are bytes already

const char* EraseToLineEnd() { return "\x1b[K"; }

bool IsTerminal(ConsoleStream stream) { return isatty(Descriptor(stream)) == 1; }

int TerminalColumns(ConsoleStream stream) {
  if (!IsTerminal(stream)) return 0;
  struct winsize size = {};
  if (ioctl(Descriptor(stream), TIOCGWINSZ, &size) != 0) return 0;
  return size.ws_col;
}

}  // namespace platform
