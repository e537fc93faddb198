#include "patch/stamp_file_time.h"

#include <string>

#include "platform/file.h"

namespace kivro {

namespace {

// Seconds from 1900-01-01 to 1970-01-01.
constexpr int64_t kYear1900 = -2208988800LL;

int64_t FloorDiv(int64_t a, int64_t b) { return a / b - ((a % b != 0) && ((a < 0) != (b < 0))); }

// The offset between UTC and local time changes only at zone transitions,
// which fall on quarter hours; a check of a whole install asks for times
// that mostly share a few such slots, so the last answer is kept per thread.
int64_t UtcToLocalCached(int64_t utc) {
  thread_local int64_t slot = INT64_MIN;
  thread_local int64_t offset = 0;
  int64_t s = FloorDiv(utc, 900);
  if (s != slot) {
    int64_t start = s * 900;
    offset = platform::UtcSecondsToLocal(start) - start;
    slot = s;
  }
  return utc + offset;
}

}  // namespace

platform::FileTime ListTimeToFileTime(int64_t list_time) {
  return platform::UnixToFileTime(platform::LocalSecondsToUtc(list_time));
}

int64_t DiskTimeToListTime(platform::FileTime disk_time) {
  int64_t local = UtcToLocalCached(platform::FileTimeToUnix(disk_time));
  return local < kYear1900 ? 0 : local;
}

bool SameMinute(int64_t list_time, platform::FileTime disk_time) {
  // Both are calendar seconds of the same clock, so equal calendar fields up
  // to the minute is equal whole minutes.
  return FloorDiv(DiskTimeToListTime(disk_time), 60) == FloorDiv(list_time, 60);
}

void StampFileTime(const char* path, int64_t list_time) {
  if (path == nullptr || path[0] == '\0') return;
  platform::SetPathAttributes(path, platform::kAttrNormal);
  platform::FileTime t = ListTimeToFileTime(list_time);
  platform::SetFileTimes(path, &t, &t, &t);
}

}  // namespace kivro
