// The Windows Pingbell.exe as a user sees it, on a real display
// (scripts/wine-run.sh --display): its dialog on the screen (a screenshot,
// screenshots/pingbell_wine.png in the build tree) with its two buttons
// drawn, and a click on either button ending the program.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#ifdef KIVRO_PINGBELL_PROGRAM
#include "notifier/Pingbell.h"
#include "notifier/PingbellDlg.h"
#include "platform/testing/window_testing.h"
#include "platform/window.h"
#endif
#include "platform/gdi.h"
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
  // Where the buttons lie in the dialog's client area: the toolkit lays the
  // same dialog out off-screen here, as the program does on the display
  // (its buttons are drawn by the toolkit, not windows of their own).
  static void SetUpTestSuite() {
#ifdef KIVRO_PINGBELL_PROGRAM
    if (!platform::InitGui("offscreen")) return;
    CPingbellDlg layout;
    if (!layout.Create()) return;
    client_size_ = {layout.GetClientRect().Width(), layout.GetClientRect().Height()};
    for (int id : {kIdOk, kIdCancel}) {
      platform::Rect r = layout.GetDlgItem(id)->GetWindowRect();
      platform::Point at = layout.ScreenToClient({r.left, r.top});
      buttons_[id] = {at.x, at.y, at.x + r.Width(), at.y + r.Height()};
    }
    // What the dialog looks like when nothing is pressed or pointed at.
    platform::gui_testing::PumpMessages(200);
    platform::Bitmap painted = platform::gui_testing::CaptureWindow(layout);
    off_screen_ = Picture(painted.Width(), painted.Height());
    for (int y = 0; y < painted.Height(); ++y) {
      for (int x = 0; x < painted.Width(); ++x) {
        platform::ColorRef c = painted.GetPixel(x, y);
        off_screen_.Set(x, y, (uint32_t(platform::RedOf(c)) << 16) | (uint32_t(platform::GreenOf(c)) << 8) |
                                  platform::BlueOf(c));
      }
    }
    laid_out_ = true;
    layout.Destroy();
#endif
  }
  void SetUp() override {
    if (kPingbellProgram[0] == '\0') {
      GTEST_SKIP() << "Pingbell.exe is not built: the Windows backend draws no windows yet "
                      "(KIVRO_WINDOWS_UI is off)";
    }
    ASSERT_TRUE(laid_out_) << "the toolkit could not lay the dialog out off-screen";
  }
  void TearDown() override {
    if (program_.IsStarted() && !program_.Wait(0)) program_.Terminate();
  }

  // A button's rectangle on the screen, in the dialog shown at `client`.
  static ScreenRect OnScreen(const ScreenRect& client, int id) {
    const ScreenRect& b = buttons_[id];
    return {client.left + b.left, client.top + b.top, client.left + b.right, client.top + b.bottom};
  }

  // Starts the program and waits until its dialog is on the screen with
  // both buttons drawn; the dialog's client area in `client`, its picture
  // in `shown`.
  bool StartAndWaitShown(const std::vector<std::string>& args, ScreenRect* client, Picture* shown) {
    platform::screen_testing::MovePointer(0, 0);  // away from where the dialog opens
    if (!program_.Start(kPingbellProgram, args)) return false;
    Picture screen;
    for (int i = 0; i < 400 && !program_.Wait(0); ++i) {
      platform::Sleep(50);
      ScreenRect dialog;
      if (!platform::screen_testing::FindTopWindow(kTitle, &dialog) ||
          !platform::screen_testing::FindClientArea(kTitle, client)) {
        continue;
      }
      screen = platform::screen_testing::CaptureScreen();
      // Painted: each button shows its frame and caption (several colours).
      if (screen.Crop(OnScreen(*client, kIdOk)).Colours() >= 3 &&
          screen.Crop(OnScreen(*client, kIdCancel)).Colours() >= 3) {
        *shown = screen.Crop(dialog);
        return true;
      }
    }
    if (!screen.Empty()) platform::screen_testing::SavePng(screen, ScreenshotPath("pingbell_wine_not_shown.png"));
    return false;
  }
  static bool ClickButton(const ScreenRect& client, int id) {
    ScreenRect r = OnScreen(client, id);
    return platform::screen_testing::ClickAt(r.left + r.Width() / 2, r.top + r.Height() / 2);
  }

  platform::Process program_;
  static bool laid_out_;
  static platform::Size client_size_;
  static ScreenRect buttons_[3];
  static Picture off_screen_;
};
bool PingbellOnWineDisplay::laid_out_ = false;
platform::Size PingbellOnWineDisplay::client_size_;
ScreenRect PingbellOnWineDisplay::buttons_[3];
Picture PingbellOnWineDisplay::off_screen_;

TEST_F(PingbellOnWineDisplay, ShowsItsDialogAsLaidOutAndOkEndsTheProgram) {
  ScreenRect client;
  Picture shown;
  ASSERT_TRUE(StartAndWaitShown({}, &client, &shown)) << "the dialog never showed with its buttons";
  ASSERT_TRUE(platform::screen_testing::SavePng(shown, ScreenshotPath("pingbell_wine.png")));
  std::printf("screenshot: %s (%dx%d)\n", ScreenshotPath("pingbell_wine.png").c_str(), shown.Width(),
              shown.Height());
  // The window's client area is the dialog as the toolkit lays it out.
  EXPECT_EQ(client.Width(), client_size_.cx);
  EXPECT_EQ(client.Height(), client_size_.cy);
  // Pixel for pixel the dialog the toolkit paints off-screen: the window
  // presents the toolkit's frame, Korean captions included.
  Picture on_screen = platform::screen_testing::CaptureScreen().Crop(client);
  ASSERT_EQ(on_screen.Width(), off_screen_.Width());
  ASSERT_EQ(on_screen.Height(), off_screen_.Height());
  int differ = 0;
  for (int y = 0; y < on_screen.Height(); ++y) {
    for (int x = 0; x < on_screen.Width(); ++x) differ += on_screen.At(x, y) != off_screen_.At(x, y);
  }
  EXPECT_EQ(differ, 0);
  EXPECT_FALSE(program_.Wait(500));  // it waits for its user
  // A click beside the buttons changes nothing: only a button ends it.
  ASSERT_TRUE(platform::screen_testing::ClickAt(client.left + 4, client.top + 4));
  EXPECT_FALSE(program_.Wait(1000));
  ASSERT_TRUE(ClickButton(client, kIdOk));
  EXPECT_TRUE(program_.Wait(20000)) << "OK did not end the program";
  EXPECT_FALSE(platform::screen_testing::TopWindowExists(kTitle));
}

TEST_F(PingbellOnWineDisplay, CancelEndsTheProgramStartedWithAUrlToo) {
  ScreenRect client;
  Picture shown;
  ASSERT_TRUE(StartAndWaitShown({"ZelNoti:ping?from=page"}, &client, &shown));  // the URL is ignored
  ASSERT_TRUE(ClickButton(client, kIdCancel));
  EXPECT_TRUE(program_.Wait(20000)) << "Cancel did not end the program";
}

}  // namespace

}  // namespace kivro
