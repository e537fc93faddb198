#include "patch/list_date.h"

#include "platform/filetime.h"

namespace kivro {

namespace {

// The number of `count` digits at `at`; false on any non-digit.
bool Digits(const std::string& s, size_t at, size_t count, int* value) {
  int v = 0;
  for (size_t i = at; i < at + count; ++i) {
    if (s[i] < '0' || s[i] > '9') return false;
    v = v * 10 + (s[i] - '0');
  }
  *value = v;
  return true;
}

}  // namespace

bool ParseListDate(const std::string& token, int64_t* time) {
  size_t year_digits;
  if (token.size() == 13 && token[6] == '-') {
    year_digits = 2;
  } else if (token.size() == 15 && token[8] == '-') {
    year_digits = 4;
  } else {
    return false;
  }
  platform::CalendarTime t;
  size_t p = year_digits;
  if (!Digits(token, 0, year_digits, &t.year) || !Digits(token, p, 2, &t.month) ||
      !Digits(token, p + 2, 2, &t.day) || !Digits(token, p + 5, 2, &t.hour) ||
      !Digits(token, p + 7, 2, &t.minute) || !Digits(token, p + 9, 2, &t.second))
    return false;
  if (year_digits == 2 && t.year <= 2000) t.year += 2000;
  // Out-of-range fields come only from damaged lists; refusing them keeps
  // the record from carrying a time nobody wrote.
  if (t.month < 1 || t.month > 12 || t.day < 1 || t.day > 31 || t.hour > 23 || t.minute > 59 ||
      t.second > 60)
    return false;
  *time = platform::CalendarToSeconds(t);
  return true;
}

}  // namespace kivro
