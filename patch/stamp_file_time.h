// List times against file times. A list time is a local calendar time held
// as seconds "as if UTC" (platform/filetime.h); file times on disk are UTC.
#pragma once
#include <cstdint>

#include "platform/filetime.h"

// The FILETIME (UTC) of a list time.

namespace kivro {

platform::FileTime ListTimeToFileTime(int64_t list_time);
// A disk time (UTC) as local calendar seconds; a time before the year 1900
// counts as 0.
int64_t DiskTimeToListTime(platform::FileTime disk_time);

// True when the disk time, seen in local time, and the list time agree in
// year, month, day, hour and minute (seconds are ignored).
bool SameMinute(int64_t list_time, platform::FileTime disk_time);

// Sets the file's attributes to normal, then its creation, last-access and
// last-write times to the list time. Failures are ignored.
void StampFileTime(const char* path, int64_t list_time);

}  // namespace kivro
