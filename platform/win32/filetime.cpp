// Local calendar time <-> UTC by the machine's time-zone settings, with the
// daylight-saving rule of the date converted (not of today, which is all
// FileTimeToLocalFileTime knows).
#include "platform/filetime.h"

#include <windows.h>

namespace platform {

namespace {

SYSTEMTIME ToSystemTime(int64_t seconds) {
  CalendarTime c = SecondsToCalendar(seconds);
  SYSTEMTIME st{};
  st.wYear = static_cast<WORD>(c.year);
  st.wMonth = static_cast<WORD>(c.month);
  st.wDay = static_cast<WORD>(c.day);
  st.wHour = static_cast<WORD>(c.hour);
  st.wMinute = static_cast<WORD>(c.minute);
  st.wSecond = static_cast<WORD>(c.second);
  return st;
}

int64_t FromSystemTime(const SYSTEMTIME& st) {
  CalendarTime c{st.wYear, st.wMonth, st.wDay, st.wHour, st.wMinute, st.wSecond};
  return CalendarToSeconds(c);
}

// Dates the system calls cannot take (before 1601 or after 30827): the
// zone's standard offset.
int64_t StandardBiasSeconds() {
  TIME_ZONE_INFORMATION zone;
  if (GetTimeZoneInformation(&zone) == TIME_ZONE_ID_INVALID) return 0;
  return static_cast<int64_t>(zone.Bias) * 60;  // UTC = local + bias
}

bool Representable(int64_t seconds) {
  CalendarTime c = SecondsToCalendar(seconds);
  return c.year >= 1601 && c.year <= 30827;
}

}  // namespace

int64_t LocalSecondsToUtc(int64_t local_seconds) {
  SYSTEMTIME local = ToSystemTime(local_seconds), utc;
  if (Representable(local_seconds) && TzSpecificLocalTimeToSystemTime(nullptr, &local, &utc))
    return FromSystemTime(utc);
  return local_seconds + StandardBiasSeconds();
}

int64_t UtcSecondsToLocal(int64_t utc_seconds) {
  SYSTEMTIME utc = ToSystemTime(utc_seconds), local;
  if (Representable(utc_seconds) && SystemTimeToTzSpecificLocalTime(nullptr, &utc, &local))
    return FromSystemTime(local);
  return utc_seconds - StandardBiasSeconds();
}

}  // namespace platform
