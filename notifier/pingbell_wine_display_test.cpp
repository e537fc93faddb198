// The Windows Pingbell.exe as a user sees it, on a real display
// (scripts/wine-run.sh --display): its dialog on the screen (a screenshot,
// screenshots/pingbell_wine.png in the build tree) with its two buttons
// drawn, and a click on either button ending the program.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "platform/process.h"
#include "platform/thread.h"
#include "platform/win32/testing/screen_testing.h"

namespace kivro {

namespace {

namespace fs = std::filesystem;
using platform::screen_testing::Picture;
using platform::screen_testing::ScreenRect;

#ifdef KIVRO_PINGBELL_PROGRAM
constexpr char kPingbellProgram[] = "Z:" KIVRO_PINGBELL_PROGRAM;
#else
constexpr char kPingbellProgram[] = "";
#endif

constexpr char kTitle[] = "Pingbell";
constexpr int kIdOk = 1;
constexpr int kIdCancel = 2;

std::string ScreenshotPath(const std::string& name) {
  const char* build = std::getenv("KIVRO_BUILD_DIR");
  fs::path dir = fs::path(build != nullptr ? build : ".") / "screenshots";
  std::error_code ignored;
  fs::create_directories(dir, ignored);
  return (dir / name).generic_string();
}

class PingbellOnWineDisplay : public ::testing::Test {
 protected:
  void SetUp() override {
    if (kPingbellProgram[0] == '\0') {
      GTEST_SKIP() << "Pingbell.exe is not built: the Windows backend draws no windows yet "
                      "(KIVRO_WINDOWS_UI is off)";
    }
  }
  void TearDown() override {
    if (program_.IsStarted() && !program_.Wait(0)) program_.Terminate();
  }

  // Starts the program and waits until its dialog is on the screen with
  // its buttons drawn; the dialog's picture in `shown`.
  bool StartAndWaitShown(const std::vector<std::string>& args, Picture* shown) {
    if (!program_.Start(kPingbellProgram, args)) return false;
    for (int i = 0; i < 400 && !program_.Wait(0); ++i) {
      platform::Sleep(50);
      ScreenRect dialog, ok, cancel;
      if (!platform::screen_testing::FindTopWindow(kTitle, &dialog) ||
          !platform::screen_testing::FindControl(kTitle, kIdOk, &ok) ||
          !platform::screen_testing::FindControl(kTitle, kIdCancel, &cancel)) {
        continue;
      }
      Picture screen = platform::screen_testing::CaptureScreen();
      // Painted: each button shows its frame and caption (several colours).
      if (screen.Crop(ok).Colours() >= 3 && screen.Crop(cancel).Colours() >= 3) {
        *shown = screen.Crop(dialog);
        return true;
      }
    }
    return false;
  }
  bool ClickButton(int id) {
    ScreenRect r;
    return platform::screen_testing::FindControl(kTitle, id, &r) &&
           platform::screen_testing::ClickAt(r.left + r.Width() / 2, r.top + r.Height() / 2);
  }

  platform::Process program_;
};

TEST_F(PingbellOnWineDisplay, ShowsItsDialogAndOkEndsTheProgram) {
  Picture shown;
  ASSERT_TRUE(StartAndWaitShown({}, &shown)) << "the dialog never showed with its buttons";
  ASSERT_TRUE(platform::screen_testing::SavePng(shown, ScreenshotPath("pingbell_wine.png")));
  std::printf("screenshot: %s (%dx%d)\n", ScreenshotPath("pingbell_wine.png").c_str(), shown.Width(),
              shown.Height());
  EXPECT_FALSE(program_.Wait(500));  // it waits for its user
  ASSERT_TRUE(ClickButton(kIdOk));
  EXPECT_TRUE(program_.Wait(20000)) << "OK did not end the program";
  EXPECT_FALSE(platform::screen_testing::TopWindowExists(kTitle));
}

TEST_F(PingbellOnWineDisplay, CancelEndsTheProgramStartedWithAUrlToo) {
  Picture shown;
  ASSERT_TRUE(StartAndWaitShown({"ZelNoti:ping?from=page"}, &shown));  // the URL is ignored
  ASSERT_TRUE(ClickButton(kIdCancel));
  EXPECT_TRUE(program_.Wait(20000)) << "Cancel did not end the program";
}

}  // namespace

}  // namespace kivro
