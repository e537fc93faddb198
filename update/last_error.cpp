#include "update/last_error.h"

#include "update/fixed_text.h"

namespace {
LastErrorRecord g_last_error;
}

void SetLastErrorInfo(int32_t code, int32_t system_error, const char* text) {
  g_last_error.code = code;
  g_last_error.system_error = system_error;
  // Cut at 255 characters: every text the system stores itself is shorter.
  CopyText(g_last_error.text, text);
}

int32_t LastErrorCode() { return g_last_error.code; }

LastErrorRecord GetLastErrorInfo() { return g_last_error; }
