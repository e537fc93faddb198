// The process-wide last-error record: the details of the latest role failure.
// Concurrent failures on two workers overwrite each other (the later one
// stays); each write and read is whole, under the record's own lock.
#pragma once
#include <cstdint>

namespace kivro {

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

}  // namespace kivro
