// FILETIME (100 ns units since 1601-01-01 UTC) and the time conversions the
// system needs. List times are local calendar times held as seconds since
// 1970 "as if UTC"; file times on disk are UTC.
#pragma once
#include <cstdint>

namespace platform {

struct FileTime {
  uint32_t low = 0;
  uint32_t high = 0;
  uint64_t Value() const { return (uint64_t(high) << 32) | low; }
  static FileTime FromValue(uint64_t v) { return FileTime{uint32_t(v), uint32_t(v >> 32)}; }
  bool operator==(const FileTime&) const = default;
};

// UTC seconds (and 100 ns remainder) <-> FILETIME.
FileTime UnixToFileTime(int64_t seconds, uint32_t hundred_ns = 0);
int64_t FileTimeToUnix(FileTime ft);

// Local calendar seconds <-> UTC seconds, by the host's time-zone rules.
int64_t LocalSecondsToUtc(int64_t local_seconds);
int64_t UtcSecondsToLocal(int64_t utc_seconds);

// FileTimeToLocalFileTime / LocalFileTimeToFileTime.
FileTime FileTimeToLocal(FileTime utc);
FileTime LocalToFileTime(FileTime local);

// Broken-down calendar time <-> seconds "as if UTC" (no time zone applied).
struct CalendarTime {
  int year = 1970, month = 1, day = 1, hour = 0, minute = 0, second = 0;
};
int64_t CalendarToSeconds(const CalendarTime& t);
CalendarTime SecondsToCalendar(int64_t seconds);

// Current time as UTC seconds.
int64_t NowUtcSeconds();

}  // namespace platform
