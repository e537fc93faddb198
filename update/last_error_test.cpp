#include "update/last_error.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <thread>

#include "update/lock_guard.h"

namespace kivro {

namespace {

TEST(LastErrorTest, AbsentTextStoresEmptyTextAndTheCode) {
  SetLastErrorInfo(33, 12007, "previous");
  SetLastErrorInfo(24, 0, nullptr);
  EXPECT_EQ(24, LastErrorCode());
  LastErrorRecord record = GetLastErrorInfo();
  EXPECT_EQ(0, record.system_error);
  EXPECT_STREQ("", record.text);
}

TEST(LastErrorTest, LaterFailureReplacesAllThreeFields) {
  SetLastErrorInfo(35, 12030, "FILENAME : [a], RECEIVED/TOTAL : [1]/[2]");
  SetLastErrorInfo(71, 2, "x");
  LastErrorRecord record = GetLastErrorInfo();
  EXPECT_EQ(71, record.code);
  EXPECT_EQ(2, record.system_error);
  EXPECT_STREQ("x", record.text);
}

TEST(LastErrorTest, OverlongTextIsCutToTheField) {
  std::string text(300, 'e');
  SetLastErrorInfo(1, 0, text.c_str());
  LastErrorRecord record = GetLastErrorInfo();
  EXPECT_EQ(std::string(255, 'e'), std::string(record.text));
}

// Whether another thread can take `section` right now.
bool FreeForOthers(platform::CriticalSection* section) {
  bool taken = false;
  std::thread other([&] {
    taken = section->TryEnter();
    if (taken) section->Leave();
  });
  other.join();
  return taken;
}

TEST(CLockTest, NullSectionThrowsTheGuardText) {
  try {
    CLock lock(nullptr);
    FAIL() << "no throw";
  } catch (const char* text) {
    EXPECT_STREQ("CLock Constructer NULL Pointer", text);
  }
}

TEST(CLockTest, HoldsTheSectionForTheScopeOnly) {
  platform::CriticalSection section;
  {
    CLock lock(&section);
    EXPECT_FALSE(FreeForOthers(&section));
    CLock again(&section);  // re-entrant for the holder
  }
  EXPECT_TRUE(FreeForOthers(&section));
}

TEST(CLockTest, ScopeLeftByExceptionLeavesTheSection) {
  platform::CriticalSection section;
  try {
    CLock lock(&section);
    throw std::runtime_error("out");
  } catch (const std::runtime_error&) {
  }
  EXPECT_TRUE(FreeForOthers(&section));
}

}  // namespace

}  // namespace kivro
