// Named sections and mutexes are the system's own on Windows: what one
// handle writes another handle of the same name sees, names are exact, and
// a name is free again once its last handle is closed.
#include <gtest/gtest.h>

#include <cstring>

#include "platform/error.h"
#include "platform/named_mutex.h"
#include "platform/shared_memory.h"

namespace platform {
namespace {

TEST(Win32SharedMemory, HandlesOfOneNameShareZeroFilledBytes) {
  SharedMemory a, b, other_case;
  ASSERT_TRUE(a.CreateOrOpen("KivroTest_Property", 512));
  EXPECT_FALSE(a.AlreadyExisted());
  char* bytes = static_cast<char*>(a.Map());
  ASSERT_NE(bytes, nullptr);
  for (int i = 0; i < 512; ++i) ASSERT_EQ(bytes[i], 0) << i;
  strcpy(bytes, "game info from the client");
  ASSERT_TRUE(b.CreateOrOpen("KivroTest_Property", 512));
  EXPECT_TRUE(b.AlreadyExisted());
  EXPECT_STREQ(static_cast<char*>(b.Map()), "game info from the client");
  ASSERT_TRUE(other_case.CreateOrOpen("kivrotest_property", 512));
  EXPECT_FALSE(other_case.AlreadyExisted());  // case matters
  a.Close();
  b.Close();
  SharedMemory again;
  ASSERT_TRUE(again.CreateOrOpen("KivroTest_Property", 512));
  EXPECT_FALSE(again.AlreadyExisted());
  EXPECT_STREQ(static_cast<char*>(again.Map()), "");
}

TEST(Win32SharedMemory, EmptyNamesAndSectionsTooSmallAreRefused) {
  SharedMemory section, larger;
  EXPECT_FALSE(section.CreateOrOpen("", 16));
  EXPECT_EQ(GetLastSystemError(), kErrorInvalidName);
  ASSERT_TRUE(section.CreateOrOpen("KivroTest_Small", 16));
  // A page-file section keeps its pages: within them it opens, beyond not.
  EXPECT_TRUE(larger.CreateOrOpen("KivroTest_Small", 32));
  EXPECT_FALSE(larger.CreateOrOpen("KivroTest_Small", 16u << 20));
  EXPECT_EQ(GetLastSystemError(), kErrorInvalidParameter);
  EXPECT_FALSE(larger.IsOpen());
}

TEST(Win32NamedMutex, ExistsWhileAHandleIsOpenAndNamesAreExact) {
  NamedMutex probe, first, second;
  EXPECT_FALSE(probe.OpenExisting("KivroTest_Running"));
  EXPECT_EQ(GetLastSystemError(), kErrorFileNotFound);
  bool existed = true;
  ASSERT_TRUE(first.Create("KivroTest_Running", &existed));
  EXPECT_FALSE(existed);
  ASSERT_TRUE(second.Create("KivroTest_Running", &existed));
  EXPECT_TRUE(existed);
  EXPECT_TRUE(probe.OpenExisting("KivroTest_Running"));
  EXPECT_FALSE(probe.OpenExisting("kivrotest_running"));
  first.Close();
  second.Close();
  EXPECT_FALSE(probe.OpenExisting("KivroTest_Running"));
  NamedMutex unnamed;
  ASSERT_TRUE(unnamed.Create(""));
  EXPECT_FALSE(probe.OpenExisting(""));
}

}  // namespace
}  // namespace platform
