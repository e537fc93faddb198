// The process-wide last-error record: the details of the latest role failure.
// Not locked: concurrent failures on two workers overwrite each other, and a
// reader may see a text torn between them (it is diagnostics only).
#pragma once
#include <cstdint>

struct LastErrorRecord {
  int32_t code = 0;
  int32_t system_error = 0;  // GetLastError numbering, or 0
  char text[256] = {};
};

// Overwrites all three fields; an absent text stores an empty one, a text of
// 256 characters or more is cut to 255.
void SetLastErrorInfo(int32_t code, int32_t system_error, const char* text);
int32_t LastErrorCode();
// A copy of the whole record (code, system error value, text).
LastErrorRecord GetLastErrorInfo();
