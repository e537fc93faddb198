#include "platform/filetime.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <time.h>

namespace platform {
namespace {

class ZoneTest : public ::testing::Test {
 protected:
  void SetZone(const char* tz) {
    setenv("TZ", tz, 1);
    tzset();
  }
  void TearDown() override {
    unsetenv("TZ");
    tzset();
  }
};

TEST(FileTimeTest, EpochsAndSubSecondTicks) {
  EXPECT_EQ(UnixToFileTime(0).Value(), 116444736000000000ULL);
  EXPECT_EQ(FileTimeToUnix(FileTime::FromValue(116444736000000000ULL + 9999999)), 0);
  EXPECT_EQ(FileTimeToUnix(UnixToFileTime(1234567890, 42)), 1234567890);
}

TEST(FileTimeTest, CalendarRoundTripsIncludingLeapDays) {
  CalendarTime t{2008, 2, 29, 23, 59, 58};
  int64_t s = CalendarToSeconds(t);
  EXPECT_EQ(s, 1204329598);
  CalendarTime back = SecondsToCalendar(s);
  EXPECT_EQ(back.year, 2008);
  EXPECT_EQ(back.month, 2);
  EXPECT_EQ(back.day, 29);
  EXPECT_EQ(back.second, 58);
  EXPECT_EQ(SecondsToCalendar(-1).year, 1969);
}

TEST_F(ZoneTest, LocalCalendarSecondsConvertByTheZone) {
  SetZone("Asia/Seoul");  // UTC+9, no daylight saving
  int64_t local = CalendarToSeconds({2007, 5, 1, 12, 0, 0});
  EXPECT_EQ(LocalSecondsToUtc(local), local - 9 * 3600);
  EXPECT_EQ(UtcSecondsToLocal(local - 9 * 3600), local);
  FileTime utc = UnixToFileTime(local - 9 * 3600, 77);
  EXPECT_EQ(FileTimeToLocal(utc), UnixToFileTime(local, 77));
  EXPECT_EQ(LocalToFileTime(UnixToFileTime(local, 77)), utc);
}

TEST_F(ZoneTest, DaylightSavingFollowsTheDate) {
  SetZone("Europe/Berlin");
  int64_t winter = CalendarToSeconds({2020, 1, 15, 12, 0, 0});
  int64_t summer = CalendarToSeconds({2020, 7, 15, 12, 0, 0});
  EXPECT_EQ(winter - LocalSecondsToUtc(winter), 3600);
  EXPECT_EQ(summer - LocalSecondsToUtc(summer), 7200);
}

}  // namespace
}  // namespace platform
