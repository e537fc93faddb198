// The report's facts on Windows come from the machine itself: a real
// version record (in both sizes), the processor's identification and the
// memory status.
#include "platform/system_info.h"

#include <gtest/gtest.h>

#include <cstring>

#include "platform/error.h"

namespace platform {
namespace {

TEST(Win32SystemInfo, TheVersionRecordIsRealInEitherSizeAndRefusesOthers) {
  WindowsVersionRecord extended;
  extended.size = kVersionRecordExtendedSize;
  ASSERT_TRUE(GetWindowsVersion(&extended));
  EXPECT_EQ(extended.platform_id, 2u);  // the NT family
  EXPECT_GE(extended.major, 5u);
  EXPECT_NE(extended.product_type, 0);
  WindowsVersionRecord basic;
  basic.size = kVersionRecordBasicSize;
  ASSERT_TRUE(GetWindowsVersion(&basic));
  EXPECT_EQ(basic.major, extended.major);
  EXPECT_EQ(basic.build, extended.build);
  EXPECT_EQ(basic.product_type, 0);  // not part of the basic form
  WindowsVersionRecord wrong;
  wrong.size = 100;
  EXPECT_FALSE(GetWindowsVersion(&wrong));
  EXPECT_EQ(GetLastSystemError(), kErrorInsufficientBuffer);
}

TEST(Win32SystemInfo, ProcessorAndMemoryAnswer) {
  CpuidRegisters vendor;
  ASSERT_TRUE(ExecuteCpuid(0, &vendor));
  EXPECT_GT(vendor.eax, 0u);  // the highest leaf
  char name[13] = {};
  std::memcpy(name, &vendor.ebx, 4);
  std::memcpy(name + 4, &vendor.edx, 4);
  std::memcpy(name + 8, &vendor.ecx, 4);
  EXPECT_EQ(std::strlen(name), 12u);
  MemoryStatus memory;
  ASSERT_TRUE(GetMemoryStatus(&memory));
  EXPECT_GT(memory.total_physical, 0u);
  EXPECT_LE(memory.available_physical, memory.total_physical);
  EXPECT_NE(ReadTimeStamp(), 0u);
}

}  // namespace
}  // namespace platform
