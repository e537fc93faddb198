// Top-level windows of other programs and of our own, on the window system
// the tests run on: a private X server on POSIX, the desktop on Windows
// (under Wine, its headless one).
#include "platform/top_windows.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <future>
#include <sstream>

#include "platform/testing/temp_root.h"
#include "platform/testing/top_windows_testing.h"
#include "platform/thread.h"

namespace platform {
namespace {

class TopWindowsTest : public TempRootTest {
 protected:
  static void SetUpTestSuite() { server_ = StartSuiteXServer(); }
  static void TearDownTestSuite() {
    delete server_;
    server_ = nullptr;
  }
  void SetUp() override {
    if (server_ == nullptr) GTEST_SKIP() << "no window system (Xvfb is not available)";
    TempRootTest::SetUp();
  }
  // A file of the private folder, as the test programs open it natively.
  std::string Path(const std::string& name) const { return root_ + "/" + name; }
  static std::string Read(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }
  static PrivateXServer* server_;
};
PrivateXServer* TopWindowsTest::server_ = nullptr;

TEST_F(TopWindowsTest, FindsAWindowOfAnotherProcessByItsExactTitle) {
  TestWindowProgram program;
  ASSERT_TRUE(program.Start("Zelmora_Launcher", {}, Path("log")));
  TopWindow w = FindTopLevelWindow("Zelmora_Launcher");
  ASSERT_NE(w, 0u);
  EXPECT_EQ(GetTopWindowTitle(w), "Zelmora_Launcher");
  // Exact: case counts (the Windows search alone would ignore it), and
  // neither a prefix nor no title at all finds it.
  EXPECT_EQ(FindTopLevelWindow("zelmora_launcher"), 0u);
  EXPECT_EQ(FindTopLevelWindow("Zelmora_Launche"), 0u);
  EXPECT_EQ(FindTopLevelWindow(""), 0u);
  program.Stop();
  for (int i = 0; i < 100 && FindTopLevelWindow("Zelmora_Launcher") != 0; ++i) Sleep(10);
  EXPECT_EQ(FindTopLevelWindow("Zelmora_Launcher"), 0u);
  EXPECT_EQ(GetTopWindowTitle(w), "");  // gone
}

TEST_F(TopWindowsTest, KoreanTitlesCompareInCodePage949) {
  MessageWindow own;
  ASSERT_TRUE(own.Create("\xB0\xA1\xB3\xAA", nullptr));  // 가나
  EXPECT_EQ(FindTopLevelWindow("\xB0\xA1\xB3\xAA"), own.Id());
  EXPECT_EQ(GetTopWindowTitle(own.Id()), "\xB0\xA1\xB3\xAA");
  TestWindowProgram other;
  ASSERT_TRUE(other.Start("\xB4\xD9\xB6\xF3", {}, Path("log")));  // 다라, from another process
  EXPECT_NE(FindTopLevelWindow("\xB4\xD9\xB6\xF3"), 0u);
}

TEST_F(TopWindowsTest, WalksNewestWindowsFirst) {
  TestWindowProgram older, newer;
  ASSERT_TRUE(older.Start("older", {}, Path("a")));
  ASSERT_TRUE(newer.Start("newer", {}, Path("b")));
  auto windows = TopLevelWindows();
  auto a = std::find(windows.begin(), windows.end(), FindTopLevelWindow("older"));
  auto b = std::find(windows.begin(), windows.end(), FindTopLevelWindow("newer"));
  ASSERT_NE(a, windows.end());
  ASSERT_NE(b, windows.end());
  EXPECT_LT(b - windows.begin(), a - windows.begin());
}

TEST_F(TopWindowsTest, PropertiesAreNamedWithoutCaseAndZeroIsNone) {
  TestWindowProgram program;
  ASSERT_TRUE(program.Start("with property", {"Zelmora=77"}, Path("log")));
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
  EXPECT_EQ(GetTopWindowProperty(0x7FFFFFF, "Zelmora"), 0u);
}

TEST_F(TopWindowsTest, ASentMessageReturnsOnceTheOtherProgramHandledIt) {
  TestWindowProgram program;
  ASSERT_TRUE(program.Start("Zelmora_Launcher", {}, Path("log")));
  intptr_t answer = 0;
  ASSERT_EQ(SendTopWindowMessage(FindTopLevelWindow("Zelmora_Launcher"), 0x046F, 5, 6, 5000,
                                 &answer),
            SendResult::kAnswered);
  EXPECT_EQ(answer, 1);
  EXPECT_EQ(Read(Path("log")), "1135 5 6\n");  // logged before the answer
}

TEST_F(TopWindowsTest, ASilentWindowTimesOutAndADyingOneEndsTheWait) {
  TestWindowProgram program;
  ASSERT_TRUE(program.Start("silent", {}, Path("log"), false));
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
  EXPECT_EQ(Read(Path("log")), "");  // it never handled one
}

// Our own window answers another thread of this program while its thread
// takes messages; the handler learns which window was the target.
TEST_F(TopWindowsTest, AMessageWindowAnswersWhileItsThreadPumps) {
  MessageWindow own;
  TopWindow seen = 0;
  ASSERT_TRUE(own.Create("pumping", [&](TopWindow target, uint32_t message, uintptr_t wparam,
                                        intptr_t lparam) {
    seen = target;
    return static_cast<intptr_t>(message + wparam + static_cast<uintptr_t>(lparam));
  }));
  ASSERT_TRUE(own.SetProperty("Mine", 5));
  EXPECT_EQ(GetTopWindowProperty(own.Id(), "mine"), 5u);
  TopWindow id = own.Id();
  auto sent = std::async(std::launch::async, [id] {
    intptr_t answer = 0;
    SendResult result = SendTopWindowMessage(id, 0x0500, 20, 3, 10000, &answer);
    return result == SendResult::kAnswered ? answer : -1;
  });
  for (int i = 0; i < 500 && sent.wait_for(std::chrono::milliseconds(0)) != std::future_status::ready; ++i) {
    own.Pump(20);
  }
  EXPECT_EQ(sent.get(), 0x0500 + 20 + 3);
  EXPECT_EQ(seen, own.Id());
  own.Destroy();
  EXPECT_EQ(own.Id(), 0u);
  EXPECT_EQ(FindTopLevelWindow("pumping"), 0u);
}

}  // namespace
}  // namespace platform
