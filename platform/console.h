// The terminal the program was started from: whether an output stream is a
// terminal, and how wide it is, so progress can be drawn as one updating line
// on a terminal and as plain lines in a log.
#pragma once

namespace platform {

enum class ConsoleStream { kOut, kErr };

bool IsTerminal(ConsoleStream stream);
// Columns of the terminal behind `stream`; 0 when it is not a terminal or
// its size is unknown.
int TerminalColumns(ConsoleStream stream);

// The control text that erases from the cursor to the end of the line on
// this system's terminals, for a line that is redrawn in place after '\r'.
const char* EraseToLineEnd();

// Bytes written to `stream` go out as they are, for a program that writes
// file content (Windows' C runtime otherwise writes "\r\n" for each "\n").
bool MakeStreamBinary(ConsoleStream stream);

}  // namespace platform
