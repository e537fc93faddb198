// Local calendar time <-> UTC by the C library's time-zone rules (TZ and
// /etc/localtime).
#include "platform/filetime.h"

#include <ctime>

namespace platform {

int64_t LocalSecondsToUtc(int64_t local_seconds) {
  CalendarTime c = SecondsToCalendar(local_seconds);
  struct tm tm = {};
  tm.tm_year = c.year - 1900;
  tm.tm_mon = c.month - 1;
  tm.tm_mday = c.day;
  tm.tm_hour = c.hour;
  tm.tm_min = c.minute;
  tm.tm_sec = c.second;
  tm.tm_isdst = -1;  // let the zone's rules decide, as for any calendar time
  time_t utc = mktime(&tm);
  return static_cast<int64_t>(utc);
}

int64_t UtcSecondsToLocal(int64_t utc_seconds) {
  time_t t = static_cast<time_t>(utc_seconds);
  struct tm tm = {};
  localtime_r(&t, &tm);
  CalendarTime c{tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec};
  return CalendarToSeconds(c);
}

}  // namespace platform
