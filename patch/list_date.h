// The date of patch lists: "YYMMDD-HHMMSS" or "YYYYMMDD-HHMMSS", a local
// calendar time. Shared by both list formats.
#pragma once
#include <cstdint>
#include <string>

// Parses `token` into local calendar seconds since 1970 (platform/filetime.h:
// "as if UTC"). False, `*time` untouched, for any other length, a misplaced
// "-", a non-digit, or a field out of its calendar range.

namespace kivro {

bool ParseListDate(const std::string& token, int64_t* time);

}  // namespace kivro
