// FILETIME arithmetic and the proleptic Gregorian calendar: the same on
// every system; only the time-zone rules come from the backend.
#include "platform/filetime.h"

#include <ctime>

namespace platform {

namespace {

constexpr int64_t kEpochDifference = 11644473600LL;  // 1601 -> 1970, seconds
constexpr int64_t kTicksPerSecond = 10000000LL;

// Days since 1970-01-01 of a civil date, and back (proleptic Gregorian).
int64_t DaysFromCivil(int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<int64_t>(doe) - 719468;
}

void CivilFromDays(int64_t z, int* year, int* month, int* day) {
  z += 719468;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const unsigned doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int64_t y = static_cast<int64_t>(yoe) + era * 400;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  const unsigned d = doy - (153 * mp + 2) / 5 + 1;
  const unsigned m = mp < 10 ? mp + 3 : mp - 9;
  *year = static_cast<int>(y + (m <= 2));
  *month = static_cast<int>(m);
  *day = static_cast<int>(d);
}

int64_t FloorDiv(int64_t a, int64_t b) { return a / b - ((a % b != 0) && ((a < 0) != (b < 0))); }

}  // namespace

FileTime UnixToFileTime(int64_t seconds, uint32_t hundred_ns) {
  return FileTime::FromValue(
      static_cast<uint64_t>((seconds + kEpochDifference) * kTicksPerSecond + hundred_ns));
}

int64_t FileTimeToUnix(FileTime ft) {
  return static_cast<int64_t>(ft.Value() / kTicksPerSecond) - kEpochDifference;
}

int64_t CalendarToSeconds(const CalendarTime& t) {
  return DaysFromCivil(t.year, static_cast<unsigned>(t.month), static_cast<unsigned>(t.day)) *
             86400 +
         t.hour * 3600 + t.minute * 60 + t.second;
}

CalendarTime SecondsToCalendar(int64_t seconds) {
  CalendarTime t;
  int64_t days = FloorDiv(seconds, 86400);
  int64_t rem = seconds - days * 86400;
  CivilFromDays(days, &t.year, &t.month, &t.day);
  t.hour = static_cast<int>(rem / 3600);
  t.minute = static_cast<int>(rem / 60 % 60);
  t.second = static_cast<int>(rem % 60);
  return t;
}

FileTime FileTimeToLocal(FileTime utc) {
  uint64_t v = utc.Value();
  uint32_t rem = static_cast<uint32_t>(v % kTicksPerSecond);
  return UnixToFileTime(UtcSecondsToLocal(FileTimeToUnix(utc)), rem);
}

FileTime LocalToFileTime(FileTime local) {
  uint64_t v = local.Value();
  uint32_t rem = static_cast<uint32_t>(v % kTicksPerSecond);
  return UnixToFileTime(LocalSecondsToUtc(FileTimeToUnix(local)), rem);
}

int64_t NowUtcSeconds() { return static_cast<int64_t>(time(nullptr)); }

}  // namespace platform
