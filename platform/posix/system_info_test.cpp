#include "platform/system_info.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>

#include "platform/thread.h"
#include "platform/testing/top_windows_testing.h"

namespace {

TEST(SystemInfo, CpuidGivesTheVendorOfLeafZero) {
  platform::CpuidRegisters r;
  ASSERT_TRUE(platform::ExecuteCpuid(0, &r));
  char vendor[13] = {};
  std::memcpy(vendor, &r.ebx, 4);
  std::memcpy(vendor + 4, &r.edx, 4);
  std::memcpy(vendor + 8, &r.ecx, 4);
  // The same vendor the kernel read at boot.
  std::ifstream cpuinfo("/proc/cpuinfo");
  std::string line;
  while (std::getline(cpuinfo, line))
    if (line.rfind("vendor_id", 0) == 0) break;
  ASSERT_NE(line.find(':'), std::string::npos);
  EXPECT_EQ(line.substr(line.find(':') + 2), vendor);
  EXPECT_GE(r.eax, 1u);  // leaf 1 always exists
}

TEST(SystemInfo, TimeStampCounterAdvancesWithTime) {
  uint64_t a = platform::ReadTimeStamp();
  platform::Sleep(5);
  uint64_t b = platform::ReadTimeStamp();
  EXPECT_GT(b, a + 1000);
}

TEST(SystemInfo, MemoryStatusMatchesTheKernel) {
  platform::MemoryStatus s;
  ASSERT_TRUE(platform::GetMemoryStatus(&s));
  uint64_t pages = uint64_t(sysconf(_SC_PHYS_PAGES)) * uint64_t(sysconf(_SC_PAGESIZE));
  EXPECT_EQ(s.total_physical, pages);
  EXPECT_GT(s.available_physical, 0u);
  EXPECT_LE(s.available_physical, s.total_physical);
}

TEST(SystemInfo, ScreenIsEmptyWithoutADisplay) {
  const char* saved = std::getenv("DISPLAY");
  std::string keep = saved ? saved : "";
  unsetenv("DISPLAY");
  int w = -1, h = -1;
  platform::GetScreenSize(&w, &h);
  EXPECT_EQ(w, 0);
  EXPECT_EQ(h, 0);
  setenv("DISPLAY", ":98765", 1);  // no such server
  platform::GetScreenSize(&w, &h);
  EXPECT_EQ(w, 0);
  if (saved) setenv("DISPLAY", keep.c_str(), 1); else unsetenv("DISPLAY");
}

TEST(SystemInfo, ScreenSizeOfARealXServer) {
  platform::PrivateXServer x;  // 1024 x 768
  if (!x.Start()) GTEST_SKIP() << "Xvfb is not available";
  int w = 0, h = 0;
  platform::GetScreenSize(&w, &h);
  EXPECT_EQ(w, 1024);
  EXPECT_EQ(h, 768);
}

TEST(SystemInfo, NoWindowsVersionOnThisHost) {
  platform::WindowsVersionRecord r;
  r.size = platform::kVersionRecordExtendedSize;
  r.major = 99;
  EXPECT_FALSE(platform::GetWindowsVersion(&r));
  EXPECT_EQ(r.major, 0u);
  EXPECT_EQ(r.size, platform::kVersionRecordExtendedSize);
}

}  // namespace
