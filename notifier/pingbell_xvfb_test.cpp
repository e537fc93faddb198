// The notifier as a user sees it: a real window on a private X server, a
// screenshot of it (build tree: screenshots/pingbell.png), and both buttons
// ending the program.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "notifier/Pingbell.h"
#include "notifier/PingbellDlg.h"
#include "platform/process.h"
#include "platform/thread.h"
#include "platform/top_windows.h"
#include "platform/testing/top_windows_testing.h"
#include "platform/window.h"

namespace kivro {

namespace {

namespace fs = std::filesystem;

class PingbellOnXTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    // Where the buttons are: the same toolkit lays the dialog out here,
    // off-screen, as the program does on the display.
    if (platform::InitGui("offscreen")) {
      CPingbellDlg layout;
      if (layout.Create()) {
        platform::Rect dialog = layout.GetWindowRect();
        for (int32_t id : {platform::kIdOk, platform::kIdCancel}) {
          platform::Rect r = layout.GetDlgItem(id)->GetWindowRect();
          centres_[id] = {r.left - dialog.left + r.Width() / 2, r.top - dialog.top + r.Height() / 2};
        }
        size_ = {dialog.Width(), dialog.Height()};
        layout.Destroy();
      }
    }
    server_ = platform::StartSuiteXServer();
  }
  static void TearDownTestSuite() {
    delete server_;
    server_ = nullptr;
  }
  void SetUp() override {
    if (server_ == nullptr) GTEST_SKIP() << "Xvfb is not available";
    if (std::system("command -v xdotool >/dev/null 2>&1") != 0) GTEST_SKIP() << "no xdotool";
    unsetenv("KIVRO_GUI");
  }
  // Starts the program and waits for its window.
  platform::TopWindow Start(platform::Process* program, const std::vector<std::string>& args) {
    if (!program->Start("Z:" PINGBELL_PROGRAM, args)) return 0;
    for (int i = 0; i < 500; ++i) {
      platform::TopWindow w = platform::FindTopLevelWindow("Pingbell");
      if (w != 0) return w;
      if (program->Wait(0)) return 0;
      platform::Sleep(20);
    }
    return 0;
  }
  // Waits until the window shows more than one colour (it has painted and
  // its loop runs), keeping the last capture in `png`.
  // SDL may replace its first window by another of the same title while
  // it starts, so the window is looked up again each time.
  static bool WaitPainted(platform::TopWindow* w, const std::string& png) {
    for (int i = 0; i < 300; ++i) {  // a loaded machine may take a while
      platform::TopWindow now = platform::FindTopLevelWindow("Pingbell");
      if (now != 0) *w = now;
      if (platform::CaptureTopWindowPng(*w, png) && fs::file_size(png) > 200) return true;
      platform::Sleep(50);
    }
    return false;
  }
  static bool Click(platform::TopWindow w, int32_t id) {
    std::string command = "xdotool mousemove --window " + std::to_string(w) + " " +
                          std::to_string(centres_[id].x) + " " + std::to_string(centres_[id].y) +
                          " click 1";
    return std::system(command.c_str()) == 0;
  }
  static platform::PrivateXServer* server_;
  static platform::Point centres_[3];
  static platform::Size size_;
};
platform::PrivateXServer* PingbellOnXTest::server_ = nullptr;
platform::Point PingbellOnXTest::centres_[3];
platform::Size PingbellOnXTest::size_;

TEST_F(PingbellOnXTest, ShowsItsDialogAndOkEndsTheProgram) {
  platform::Process program;
  platform::TopWindow w = Start(&program, {});
  ASSERT_NE(w, 0u);
  const char* build = std::getenv("KIVRO_BUILD_DIR");
  fs::path shots = fs::path(build ? build : fs::temp_directory_path().string()) / "screenshots";
  fs::create_directories(shots);
  std::string png = (shots / "pingbell.png").string();
  ASSERT_TRUE(WaitPainted(&w, png));
  std::printf("screenshot: %s (%dx%d)\n", png.c_str(), size_.cx, size_.cy);
  EXPECT_TRUE(program.IsStarted());
  EXPECT_FALSE(program.Wait(0));  // it waits for its user
  ASSERT_TRUE(Click(w, platform::kIdOk));
  EXPECT_TRUE(program.Wait(20000));
  EXPECT_EQ(platform::FindTopLevelWindow("Pingbell"), 0u);
}

TEST_F(PingbellOnXTest, CancelEndsTheProgramToo) {
  platform::Process program;
  platform::TopWindow w = Start(&program, {"ZelNoti:ping?from=page"});  // the URL is ignored
  ASSERT_NE(w, 0u);
  ASSERT_TRUE(WaitPainted(&w, (fs::temp_directory_path() / "pingbell-cancel.png").string()));
  ASSERT_TRUE(Click(w, platform::kIdCancel));
  EXPECT_TRUE(program.Wait(20000));
}

}  // namespace

}  // namespace kivro
