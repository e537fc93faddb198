#include "update/last_error.h"

#include "update/fixed_text.h"
#include "update/lock_guard.h"

namespace kivro {

namespace {

LastErrorRecord g_last_error;

// Two workers may fail at the same moment. The later write still wins, but
// under a lock, so a reader never sees a record torn between two failures.
// Never destroyed: a worker still running at process exit may write.
platform::CriticalSection& RecordLock() {
  static platform::CriticalSection* lock = new platform::CriticalSection();
  return *lock;
}

}  // namespace

void SetLastErrorInfo(int32_t code, int32_t system_error, const char* text) {
  CLock lock(&RecordLock());
  g_last_error.code = code;
  g_last_error.system_error = system_error;
  // Cut at 255 characters: every text the system stores itself is shorter.
  CopyText(g_last_error.text, text);
}

int32_t LastErrorCode() {
  CLock lock(&RecordLock());
  return g_last_error.code;
}

LastErrorRecord GetLastErrorInfo() {
  CLock lock(&RecordLock());
  return g_last_error;
}

}  // namespace kivro
