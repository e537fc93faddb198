#include "platform/top_windows.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <future>
#include <sstream>

#include "platform/thread.h"
#include "platform/testing/top_windows_testing.h"

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

class TopWindowsTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    server_ = StartSuiteXServer();
  }
  static void TearDownTestSuite() {
    delete server_;
    server_ = nullptr;
  }
  void SetUp() override {
    if (server_ == nullptr) GTEST_SKIP() << "Xvfb is not available";
    char dir[] = "/tmp/kivro-topwin-XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    dir_ = dir;
  }
  void TearDown() override {
    if (!dir_.empty()) std::system(("rm -rf '" + dir_ + "'").c_str());
  }
  std::string Read(const std::string& path) {
    std::ifstream in(path);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }
  static PrivateXServer* server_;
  std::string dir_;
};
PrivateXServer* TopWindowsTest::server_ = nullptr;

TEST_F(TopWindowsTest, FindsAWindowOfAnotherProcessByItsExactTitle) {
  TestWindowProgram program;
  ASSERT_TRUE(program.Start("Zelmora_Launcher", {}, dir_ + "/log"));
  TopWindow w = FindTopLevelWindow("Zelmora_Launcher");
  ASSERT_NE(w, 0u);
  EXPECT_EQ(GetTopWindowTitle(w), "Zelmora_Launcher");
  EXPECT_EQ(FindTopLevelWindow("zelmora_launcher"), 0u);
  EXPECT_EQ(FindTopLevelWindow("Zelmora_Launche"), 0u);
  EXPECT_EQ(FindTopLevelWindow(""), 0u);
  program.Stop();
  for (int i = 0; i < 100 && FindTopLevelWindow("Zelmora_Launcher") != 0; ++i) Sleep(10);
  EXPECT_EQ(FindTopLevelWindow("Zelmora_Launcher"), 0u);
}

TEST_F(TopWindowsTest, KoreanTitlesCompareInCodePage949) {
  MessageWindow own;
  ASSERT_TRUE(own.Create("\xB0\xA1\xB3\xAA", nullptr));  // 가나
  EXPECT_EQ(FindTopLevelWindow("\xB0\xA1\xB3\xAA"), own.Id());
}

TEST_F(TopWindowsTest, WalksNewestWindowsFirst) {
  TestWindowProgram older, newer;
  ASSERT_TRUE(older.Start("older", {}, dir_ + "/a"));
  ASSERT_TRUE(newer.Start("newer", {}, dir_ + "/b"));
  auto windows = TopLevelWindows();
  auto a = std::find(windows.begin(), windows.end(), FindTopLevelWindow("older"));
  auto b = std::find(windows.begin(), windows.end(), FindTopLevelWindow("newer"));
  ASSERT_NE(a, windows.end());
  ASSERT_NE(b, windows.end());
  EXPECT_LT(b - windows.begin(), a - windows.begin());
}

TEST_F(TopWindowsTest, PropertiesAreNamedWithoutCaseAndZeroIsNone) {
  TestWindowProgram program;
  ASSERT_TRUE(program.Start("with property", {"Zelmora=77"}, dir_ + "/log"));
  TopWindow w = FindTopLevelWindow("with property");
  ASSERT_NE(w, 0u);
  EXPECT_EQ(GetTopWindowProperty(w, "Zelmora"), 77u);
  EXPECT_EQ(GetTopWindowProperty(w, "ZELMORA"), 77u);
  EXPECT_EQ(GetTopWindowProperty(w, "Other"), 0u);
  EXPECT_EQ(TopLevelWindowsWithProperty("zelmora"), std::vector<TopWindow>{w});
  ASSERT_TRUE(SetTopWindowProperty(w, "Big", uintptr_t{0x123456789ull}));
  EXPECT_EQ(GetTopWindowProperty(w, "big"), uintptr_t{0x123456789ull});
  ASSERT_TRUE(RemoveTopWindowProperty(w, "Zelmora"));
  EXPECT_EQ(GetTopWindowProperty(w, "Zelmora"), 0u);
  EXPECT_TRUE(TopLevelWindowsWithProperty("Zelmora").empty());
  ASSERT_TRUE(SetTopWindowProperty(w, "Zelmora", 0));  // zero is no property
  EXPECT_TRUE(TopLevelWindowsWithProperty("Zelmora").empty());
  EXPECT_FALSE(SetTopWindowProperty(0x7FFFFFF, "Gone", 1));  // no such window
}

TEST_F(TopWindowsTest, ASentMessageReturnsOnceTheOtherProgramHandledIt) {
  TestWindowProgram program;
  ASSERT_TRUE(program.Start("Zelmora_Launcher", {}, dir_ + "/log"));
  intptr_t answer = 0;
  ASSERT_EQ(SendTopWindowMessage(FindTopLevelWindow("Zelmora_Launcher"), 0x046F, 0, 0, 5000,
                                 &answer),
            SendResult::kAnswered);
  EXPECT_EQ(answer, 1);
  EXPECT_EQ(Read(dir_ + "/log"), "1135 0 0\n");  // logged before the answer
}

TEST_F(TopWindowsTest, ASilentWindowTimesOutAndADyingOneEndsTheWait) {
  TestWindowProgram program;
  ASSERT_TRUE(program.Start("silent", {}, dir_ + "/log", false));
  TopWindow w = FindTopLevelWindow("silent");
  ASSERT_NE(w, 0u);
  uint32_t start = GetTickCount();
  EXPECT_EQ(SendTopWindowMessage(w, 0x046F, 0, 0, 300, nullptr), SendResult::kTimedOut);
  EXPECT_GE(GetTickCount() - start, 290u);
  auto pending = std::async(std::launch::async, [w] {
    return SendTopWindowMessage(w, 0x046F, 0, 0, 20000, nullptr);
  });
  Sleep(200);
  start = GetTickCount();
  program.Stop();
  EXPECT_EQ(pending.get(), SendResult::kNoWindow);
  EXPECT_LT(GetTickCount() - start, 5000u);
  EXPECT_EQ(SendTopWindowMessage(w, 0x046F, 0, 0, 300, nullptr), SendResult::kNoWindow);
}

}  // namespace
}  // namespace platform
