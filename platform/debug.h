// Debugger output: written to stderr when KIVRO_TRACE is set, else dropped.
#pragma once

namespace platform {

void OutputDebugText(const char* text);
// printf-style; the line is cut at 1023 characters.
void DebugPrintf(const char* format, ...) __attribute__((format(printf, 1, 2)));

}  // namespace platform
