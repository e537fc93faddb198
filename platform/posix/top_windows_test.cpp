// Without an X display (DISPLAY unset) there are no windows at all; the
// Windows desktop cannot be taken away like that.
#include "platform/top_windows.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

namespace platform {
namespace {

TEST(TopWindowsWithoutDisplayTest, ThereAreNoWindows) {
  const char* saved = std::getenv("DISPLAY");
  std::string keep = saved ? saved : "";
  unsetenv("DISPLAY");
  EXPECT_FALSE(HasDisplay());
  EXPECT_TRUE(TopLevelWindows().empty());
  EXPECT_EQ(FindTopLevelWindow("Zelmora_Launcher"), 0u);
  EXPECT_EQ(GetTopWindowProperty(1, "Zelmora"), 0u);
  EXPECT_EQ(SendTopWindowMessage(1, 0x46F, 0, 0, 100, nullptr), SendResult::kNoWindow);
  MessageWindow w;
  EXPECT_FALSE(w.Create("x", nullptr));
  if (saved) setenv("DISPLAY", keep.c_str(), 1);
}

}  // namespace
}  // namespace platform
