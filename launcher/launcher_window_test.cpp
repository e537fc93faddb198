// The launcher window on the toolkit's off-screen backend: the delayed check
// fires once, the buttons follow the results with their look, the paint
// shows the texts and bars of value x 390 / 100 pixels from the strip, and
// the fixed geometry and the about entry of the system menu are in place.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "launcher/launcher_link.h"
#include "launcher/launcher_test_fakes.h"
#include "launcher/stonegate_dlg.h"
#include "launcher/stonegate_paint.h"
#include "launcher/stonegate_window.h"
#include "launcher/tuv_button.h"
#include "platform/resource.h"
#include "platform/window.h"
#include "platform/testing/window_testing.h"

namespace kivro {

namespace {

using platform::Bitmap;
using platform::ColorRef;
using Dlg = CStonegateDlg;

std::atomic<int> g_games{0};
void CountGame(const std::string&, const std::string&) { ++g_games; }

int StripRun(const Bitmap& shot, platform::Point bar, const Bitmap& strip) {
  int w = 0;
  while (w < launcher::kBarFullWidth && shot.GetPixel(bar.x + w, bar.y + 5) == strip.GetPixel(w, 5)) ++w;
  return w;
}

TEST(LauncherPaint, BarWidthIsValueTimes390Over100) {
  EXPECT_EQ(launcher::BarWidth(50), 195);
  EXPECT_EQ(launcher::BarWidth(100), 390);
  EXPECT_EQ(launcher::BarWidth(1), 3);
  EXPECT_EQ(launcher::BarWidth(0), 0);
  EXPECT_EQ(launcher::BarWidth(250), 390);  // never past the strip
  EXPECT_EQ(launcher::BarWidth(-5), 0);
}

TEST(LauncherPaint, ClipRegionLeavesOutTheBrowserPane) {
  platform::Region clip = launcher::LauncherClipRegion({0, 0, 405, 218}, {100, 50, 200, 100});
  EXPECT_TRUE(clip.Contains(0, 0));
  EXPECT_TRUE(clip.Contains(404, 217));
  EXPECT_FALSE(clip.Contains(150, 75));
  EXPECT_TRUE(clip.Contains(99, 75));
  // The program's pane lies below the window: the whole window stays painted.
  platform::Region program = launcher::LauncherClipRegion({0, 0, 405, 218}, launcher::kBrowserPaneRect);
  for (int y = 0; y < 218; y += 7) {
    for (int x = 0; x < 405; x += 7) ASSERT_TRUE(program.Contains(x, y)) << x << "," << y;
  }
}

class LauncherWindowOffscreen : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(platform::InitGui("offscreen"));
    background_ = platform::LoadBitmapResource(140);
    strip_ = platform::LoadBitmapResource(141);
    ASSERT_FALSE(background_.IsNull());
    ASSERT_FALSE(strip_.IsNull());
  }
  Bitmap background_, strip_;
};

TEST_F(LauncherWindowOffscreen, ChecksOnceShowsProgressAndFollowsResults) {
  FakeManager manager;
  manager.has_downloads = 1;
  std::atomic<int> checks{0};
  manager.on_check = [&] { ++checks; };
  launcher::StonegateWindow surface;
  Dlg dlg(surface, CLauncherLink::Instance(), &manager);
  g_games = 0;
  dlg.SetGameOpener(&CountGame);

  struct Seen {
    Bitmap shot;
    platform::Rect client, cancel, start;
    bool enabled[4] = {};
    int32_t look[4] = {};
    std::vector<platform::SystemMenuEntry> menu;
  } seen;
  int32_t ids[4] = {Dlg::kIdUpdate, Dlg::kIdCancel, Dlg::kIdStart, Dlg::kIdExit};
  int checks_after_wait = -1;
  auto opened = std::chrono::steady_clock::now();
  std::chrono::milliseconds check_after{0};

  std::thread script([&] {
    // The check begins by itself 1.5 s after the window opened.
    while (checks == 0 && std::chrono::steady_clock::now() - opened < std::chrono::seconds(10)) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    check_after = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - opened);
    // The manager's worker: items to fetch, then progress.
    manager.result(RESULT_CHECK_DONE);
    manager.file_name("C:\\Zelmora\\KOREAN\\Gobanvista\\data\\openings.dat.zip");
    manager.file_percent(50);
    manager.apply_count(4, 1);
    platform::Window* w = surface.DialogWindow();
    w->RunOnUiThread([&] {
      seen.shot = platform::gui_testing::CaptureWindow(*w);
      seen.client = w->GetClientRect();
      platform::Point origin = w->GetWindowRect().TopLeft();
      seen.cancel = platform::Rect(static_cast<platform::Dialog*>(w)->GetDlgItem(Dlg::kIdCancel)->GetWindowRect())
                        .Offset(-origin.x, -origin.y);
      seen.start = platform::Rect(static_cast<platform::Dialog*>(w)->GetDlgItem(Dlg::kIdStart)->GetWindowRect())
                       .Offset(-origin.x, -origin.y);
      for (int i = 0; i < 4; ++i) {
        auto* button = dynamic_cast<CTuvButton*>(static_cast<platform::Dialog*>(w)->GetDlgItem(ids[i]));
        if (button == nullptr) continue;
        seen.enabled[i] = button->IsEnabled();
        seen.look[i] = button->DisabledLook();
      }
      seen.menu = w->SystemMenu();
    });
    // No second check however long the window stays.
    std::this_thread::sleep_for(std::chrono::milliseconds(2000));
    checks_after_wait = checks;
    manager.result(RESULT_UPDATE_DONE);  // the game starts, the window closes
  });
  int32_t result = dlg.DoModal();
  script.join();

  EXPECT_GE(check_after.count(), 1400);
  EXPECT_EQ(checks_after_wait, 1);
  EXPECT_EQ(manager.start_update_count, 1);
  EXPECT_EQ(g_games, 1);
  EXPECT_EQ(result, Dlg::kIdCancelResult);

  // Only Cancel is usable while the update runs; the others show cell 3.
  EXPECT_FALSE(seen.enabled[0]);
  EXPECT_TRUE(seen.enabled[1]);
  EXPECT_FALSE(seen.enabled[2]);
  EXPECT_FALSE(seen.enabled[3]);
  EXPECT_EQ(seen.look[0], 1);
  EXPECT_EQ(seen.look[1], 0);
  EXPECT_EQ(seen.look[2], 1);

  EXPECT_EQ(seen.client.Width(), 405);
  EXPECT_EQ(seen.client.Height(), 218);
  EXPECT_EQ(seen.cancel, (platform::Rect{320, 185, 398, 207}));  // one 78 x 22 cell
  EXPECT_EQ(seen.start, (platform::Rect{220, 585, 281, 619}));    // below the window
  ASSERT_EQ(seen.menu.size() >= 2, true);
  EXPECT_EQ(seen.menu[seen.menu.size() - 2].id, 0u);
  EXPECT_EQ(seen.menu.back().id, 0x10u);
  EXPECT_EQ(seen.menu.back().text, "Stonegate \xC1\xA4\xBA\xB8(&A)...");

  // The paint: 50 % fills 195 pixels of the file bar, 25 % 97 of the
  // install bar; the rest of the row is the background.
  ASSERT_FALSE(seen.shot.IsNull());
  EXPECT_EQ(StripRun(seen.shot, launcher::kFileBarAt, strip_), 195);
  EXPECT_EQ(StripRun(seen.shot, launcher::kInstallBarAt, strip_), 97);
  EXPECT_EQ(seen.shot.GetPixel(launcher::kFileBarAt.x + 300, launcher::kFileBarAt.y + 5),
            background_.GetPixel(launcher::kFileBarAt.x + 300, launcher::kFileBarAt.y + 5));
  int text_pixels = 0;
  for (int y = launcher::kFileTextAt.y; y < launcher::kFileTextAt.y + 13; ++y) {
    for (int x = launcher::kFileTextAt.x; x < 390; ++x) {
      text_pixels += seen.shot.GetPixel(x, y) != background_.GetPixel(x, y);
    }
  }
  EXPECT_GT(text_pixels, 100);
  // Away from texts, bars and the cancel button, the window is the skin.
  EXPECT_EQ(seen.shot.GetPixel(200, 60), background_.GetPixel(200, 60));
}

TEST_F(LauncherWindowOffscreen, NothingIsPaintedBeforeAnyBarMoves) {
  // Bars at 0 draw nothing: the row is the background.
  Bitmap back = Bitmap::Colour(launcher::kBackBufferWidth, launcher::kBackBufferHeight);
  platform::MemoryDc dc;
  dc.SelectBitmap(&back);
  CStonegateDlg::View view;
  launcher::PaintParts parts;
  parts.background = &background_;
  parts.strip = &strip_;
  launcher::PaintBackBuffer(dc, view, parts);
  EXPECT_EQ(StripRun(back, launcher::kFileBarAt, strip_), 0);
  view.bars[kBarFile] = 100;
  launcher::PaintBackBuffer(dc, view, parts);
  EXPECT_EQ(StripRun(back, launcher::kFileBarAt, strip_), 390);
  // The third bar's place lies below the 410-pixel back buffer: drawing it
  // changes no pixel.
  Bitmap before = back;
  view.bars[kBarThird] = 60;
  launcher::PaintBackBuffer(dc, view, parts);
  int changed = 0;
  for (int y = 0; y < back.Height(); ++y) {
    for (int x = 0; x < back.Width(); ++x) changed += back.GetPixel(x, y) != before.GetPixel(x, y);
  }
  EXPECT_EQ(changed, 0);
  dc.SelectBitmap(nullptr);
}

}  // namespace

}  // namespace kivro
