// The real KIVROInstaller in its window on a private X server, against an
// nginx slowed down with limit_rate: a screenshot taken in the middle of the
// update shows the skinned window with the file being fetched and a partly
// filled progress bar. The PNG files stay in the build tree for people to
// look at (launcher/launcher_midupdate*.png).
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>

#include "launcher/launcher_e2e_fixture.h"
#include "launcher/stonegate_paint.h"
#include "platform/gdi.h"
#include "platform/testing/window_xvfb.h"

namespace kivro {

namespace {

using launcher_e2e::DemoServer;
using launcher_e2e::DemoWorld;
using launcher_e2e::Quote;
using launcher_e2e::ReadFile;
using launcher_e2e::Shell;
using platform::Bitmap;

constexpr int kScreenWidth = 800;
constexpr int kScreenHeight = 600;

Bitmap LoadSkin(const std::string& name) {
  std::string data = ReadFile(std::string(KIVRO_SKIN_DIR) + "/" + name);
  return platform::DecodeBmp(reinterpret_cast<const uint8_t*>(data.data()), data.size());
}

// Points of the background that nothing is drawn over.
constexpr platform::Point kQuietPoints[] = {{2, 2}, {400, 5}, {200, 60}, {390, 212}, {60, 100}};

// Finds the window on the screen by its background; false when not shown.
bool FindWindow(const Bitmap& screen, const Bitmap& background, platform::Point* at) {
  for (int y = 0; y + launcher::kWindowHeight <= screen.Height(); ++y) {
    for (int x = 0; x + launcher::kWindowWidth <= screen.Width(); ++x) {
      bool all = true;
      for (platform::Point p : kQuietPoints) {
        if (screen.GetPixel(x + p.x, y + p.y) != background.GetPixel(p.x, p.y)) {
          all = false;
          break;
        }
      }
      // The wood grain repeats: confirm with two whole rows.
      for (int row : {2, 100}) {
        for (int i = 0; all && i < launcher::kWindowWidth; ++i) {
          all = screen.GetPixel(x + i, y + row) == background.GetPixel(i, row);
        }
      }
      if (all) {
        *at = {x, y};
        return true;
      }
    }
  }
  return false;
}

// Pixels drawn from the strip at the start of a bar's row.
int BarPixels(const Bitmap& screen, platform::Point window, platform::Point bar, const Bitmap& strip) {
  int width = 0;
  while (width < launcher::kBarFullWidth &&
         screen.GetPixel(window.x + bar.x + width, window.y + bar.y + 5) == strip.GetPixel(width, 5)) {
    ++width;
  }
  return width;
}

// Dark pixels in a text line's band where the background has none.
int TextPixels(const Bitmap& screen, platform::Point window, platform::Point text, const Bitmap& background) {
  int dark = 0;
  for (int y = text.y; y < text.y + 13; ++y) {
    for (int x = text.x; x < text.x + 300; ++x) {
      platform::ColorRef c = screen.GetPixel(window.x + x, window.y + y);
      bool is_dark = platform::RedOf(c) < 60 && platform::GreenOf(c) < 60 && platform::BlueOf(c) < 60;
      platform::ColorRef b = background.GetPixel(x, y);
      bool was_dark = platform::RedOf(b) < 60 && platform::GreenOf(b) < 60 && platform::BlueOf(b) < 60;
      dark += is_dark && !was_dark;
    }
  }
  return dark;
}

Bitmap Crop(const Bitmap& screen, platform::Point at) {
  Bitmap out = Bitmap::Colour(launcher::kWindowWidth, launcher::kWindowHeight);
  for (int y = 0; y < launcher::kWindowHeight; ++y) {
    for (int x = 0; x < launcher::kWindowWidth; ++x) out.SetPixel(x, y, screen.GetPixel(at.x + x, at.y + y));
  }
  return out;
}

// The real launcher on a private X server against nginx serving release
// 1.0 slowly, so that the update stays visible for a while.
class LauncherWindowOnScreen : public launcher_e2e::LoopbackLauncherTest {
 protected:
  void SetUp() override {
    LoopbackLauncherTest::SetUp();
    if (IsSkipped()) return;
    std::string why;
    platform::gui_testing::XvfbSession::Outcome started = xvfb_.Start(kScreenWidth, kScreenHeight, &why);
    if (started == platform::gui_testing::XvfbSession::kMissing) GTEST_SKIP() << "Xvfb is not installed";
    ASSERT_EQ(started, platform::gui_testing::XvfbSession::kStarted) << why;
    background_ = LoadSkin("background.bmp");
    strip_ = LoadSkin("progress.bmp");
  }
  void TearDown() override {
    if (launcher_.joinable()) launcher_.join();
  }

  // Publishes release 1.0, serves it with nginx's `limit_rate` directive
  // and starts the launcher on the display; its output goes to out_.
  void StartLauncher(const std::string& limit_rate) {
    ASSERT_TRUE(world_.Publish("1.0", ""));
    std::string why;
    ASSERT_TRUE(server_.Start(world_.Dir(), world_.Server(), host_.port, limit_rate, &why)) << why;
    out_ = world_.Dir() + "/launcher.out";
    launcher_ = std::thread([this] {
      exit_code_ = Shell("cd " + Quote(world_.Dir()) + " && env -u KIVRO_GUI -u KIVRO_WINDIR KIVRO_ROOT=" +
                         Quote(world_.Root()) + " timeout 120 " + Quote(KIVRO_LAUNCHER_PROGRAM) + " > " +
                         Quote(out_) + " 2>&1");
    });
  }

  platform::gui_testing::XvfbSession xvfb_;
  Bitmap background_, strip_;
  DemoWorld world_;
  DemoServer server_;
  std::string out_;
  std::atomic<int> exit_code_{-100};
  std::thread launcher_;
};

TEST_F(LauncherWindowOnScreen, ShowsTheSkinnedWindowWithTextAndBarsMidUpdate) {
  ASSERT_FALSE(background_.IsNull());
  ASSERT_FALSE(strip_.IsNull());
  // The bar test below means something only where strip_ and background_ differ.
  ASSERT_NE(strip_.GetPixel(2, 5), background_.GetPixel(launcher::kFileBarAt.x + 2, launcher::kFileBarAt.y + 5));

  // About 200 KB for the largest archive at 24 KB/s: several seconds of
  // visible progress.
  StartLauncher("limit_rate 24k;");
  if (HasFatalFailure()) return;

  bool window_seen = false, captured = false;
  platform::Point at;
  Bitmap shot;
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (!captured && exit_code_ == -100 && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    shot = xvfb_.Screenshot({0, 0, kScreenWidth, kScreenHeight});
    if (shot.IsNull()) continue;
    platform::Point found;
    if (!FindWindow(shot, background_, &found)) continue;
    window_seen = true;
    at = found;
    int file_bar = BarPixels(shot, at, launcher::kFileBarAt, strip_);
    int file_text = TextPixels(shot, at, launcher::kFileTextAt, background_);
    // Mid-update: a file is being fetched, its bar partly filled.
    if (file_bar > 0 && file_bar < launcher::kBarFullWidth && file_text > 20) captured = true;
  }
  std::string png_dir = std::string(KIVRO_TEST_OUTPUT_DIR);
  if (!shot.IsNull()) {
    platform::gui_testing::WritePng(shot, png_dir + "/launcher_midupdate_screen.png");
    if (window_seen) platform::gui_testing::WritePng(Crop(shot, at), png_dir + "/launcher_midupdate.png");
  }
  launcher_.join();
  EXPECT_TRUE(window_seen) << "the launcher's window never appeared\n" << ReadFile(out_);
  EXPECT_TRUE(captured) << "no screenshot showed a partly filled file bar with its text\n" << ReadFile(out_);
  EXPECT_EQ(exit_code_.load(), 0) << ReadFile(out_);
  EXPECT_TRUE(world_.WaitForGameStarts(1, 10000));
  if (captured) {
    // The cancel button is drawn in its place; everything else of the
    // window is the skin.
    int cancel_differs = 0;
    for (int y = 0; y < 22; ++y) {
      for (int x = 0; x < 78; ++x) {
        platform::Point p{launcher::kCancelButtonAt.x + x, launcher::kCancelButtonAt.y + y};
        cancel_differs += shot.GetPixel(at.x + p.x, at.y + p.y) != background_.GetPixel(p.x, p.y);
      }
    }
    EXPECT_GT(cancel_differs, 100);
  }
}

TEST_F(LauncherWindowOnScreen, CancelClosesTheWindowAtOnceWithoutAMessage) {
  if (Shell("command -v xdotool >/dev/null 2>&1") != 0) GTEST_SKIP() << "xdotool is not installed";
  StartLauncher("limit_rate 16k;");
  if (HasFatalFailure()) return;
  // Wait for the update to run (the install count shows), then press Cancel.
  platform::Point at;
  bool updating = false;
  for (int i = 0; i < 300 && !updating && exit_code_ == -100; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    Bitmap shot = xvfb_.Screenshot({0, 0, kScreenWidth, kScreenHeight});
    updating = !shot.IsNull() && FindWindow(shot, background_, &at) &&
               TextPixels(shot, at, launcher::kInstallTextAt, background_) > 20;
  }
  ASSERT_TRUE(updating) << ReadFile(out_);
  xvfb_.MovePointer(at.x + launcher::kCancelButtonAt.x + 39, at.y + launcher::kCancelButtonAt.y + 11);
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  auto pressed = std::chrono::steady_clock::now();
  ASSERT_EQ(Shell("DISPLAY=:" + std::to_string(xvfb_.DisplayNumber()) + " xdotool click 1"), 0);
  // The window goes at once, without waiting for the workers.
  bool gone = false;
  while (!gone && std::chrono::steady_clock::now() - pressed < std::chrono::seconds(5)) {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    Bitmap shot = xvfb_.Screenshot({0, 0, kScreenWidth, kScreenHeight});
    platform::Point ignored;
    gone = !shot.IsNull() && !FindWindow(shot, background_, &ignored);
  }
  EXPECT_TRUE(gone);
  EXPECT_LT(std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - pressed).count(),
            2000);
  launcher_.join();
  std::string output = ReadFile(out_);
  EXPECT_EQ(exit_code_.load(), 2) << output;  // closed without a result shown
  EXPECT_EQ(output.find("UPDATE CANCELED"), std::string::npos) << output;
  EXPECT_EQ(world_.GameStarts(), 0);
}

}  // namespace

}  // namespace kivro
