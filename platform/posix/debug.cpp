#include "platform/debug.h"

#include <unistd.h>

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/codepage.h"

namespace platform {

namespace {
bool TraceEnabled() {
  static const bool enabled = getenv("KIVRO_TRACE") != nullptr;
  return enabled;
}
}  // namespace

void OutputDebugText(const char* text) {
  if (!TraceEnabled() || text == nullptr) return;
  // Texts are code page 949; the terminal reads UTF-8. One write per text,
  // so lines of several threads do not interleave.
  std::string line = Cp949ToUtf8(text);
  ssize_t ignored = write(2, line.data(), line.size());
  (void)ignored;
}

void DebugPrintf(const char* format, ...) {
  if (!TraceEnabled()) return;
  char line[1024];
  va_list args;
  va_start(args, format);
  vsnprintf(line, sizeof line, format, args);
  va_end(args);
  OutputDebugText(line);
}

}  // namespace platform
