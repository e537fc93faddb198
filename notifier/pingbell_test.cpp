// The notifier's dialog on the off-screen backend, and the program without
// a display.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "notifier/Pingbell.h"
#include "notifier/PingbellDlg.h"
#include "platform/codepage.h"
#include "platform/resource.h"
#include "platform/process.h"
#include "platform/thread.h"
#include "platform/top_windows.h"
#include "platform/window.h"
#include "platform/testing/window_testing.h"
#include "platform/testing/environment.h"

namespace kivro {

namespace {

using platform::kIdCancel;
using platform::kIdOk;
namespace gt = platform::gui_testing;

class PingbellTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    ASSERT_TRUE(platform::InitGui("offscreen"));
  }
  // Clicks the control `id` of a created dialog and waits for it to end.
  static int32_t ClickAndWait(CPingbellDlg& dialog, int32_t id) {
    platform::Window* button = dialog.GetDlgItem(id);
    if (button == nullptr) return -100;
    platform::Rect r = button->GetClientRect();
    platform::Point centre{r.Width() / 2, r.Height() / 2};
    gt::InjectMouseMove(*button, centre);
    gt::InjectMouseButton(*button, centre, true);
    gt::InjectMouseButton(*button, centre, false);
    if (!gt::PumpUntil([&] { return dialog.IsEnded(); }, 3000)) return -200;
    return dialog.Result();
  }
};

// The templates as the program's resources hold them (Pingbell.rc, read
// back from the compiled resources).
TEST_F(PingbellTest, MainDialogHasItsCaptionSizeAndTwoButtons) {
  platform::DialogTemplate t;
  ASSERT_TRUE(platform::LoadDialogResource(IDD_PINGBELL_DIALOG, &t));
  EXPECT_EQ(t.caption, "Pingbell");
  EXPECT_EQ(t.size.cx, 87);
  EXPECT_EQ(t.size.cy, 62);
  EXPECT_EQ(t.fontPoints, 9);
  EXPECT_EQ(t.fontFace, platform::Utf8ToCp949("굴림"));
  EXPECT_EQ(t.style, platform::kStyleModalFrame | platform::kStylePopup | platform::kStyleVisible |
                         platform::kStyleCaption | platform::kStyleSysMenu);
  ASSERT_EQ(t.controls.size(), 2u);
  EXPECT_EQ(t.controls[0].kind, platform::ControlTemplate::kDefPushButton);
  EXPECT_EQ(t.controls[1].kind, platform::ControlTemplate::kPushButton);
  EXPECT_EQ(t.controls[0].id, kIdOk);
  EXPECT_EQ(t.controls[0].text, platform::Utf8ToCp949("확인"));
  EXPECT_EQ(t.controls[0].rect, (platform::Rect{30, 7, 80, 21}));
  EXPECT_EQ(t.controls[1].id, kIdCancel);
  EXPECT_EQ(t.controls[1].text, platform::Utf8ToCp949("취소"));
  EXPECT_EQ(t.controls[1].rect, (platform::Rect{30, 23, 80, 37}));
}

TEST_F(PingbellTest, AboutDialogSaysWhatAndWhen) {
  platform::DialogTemplate t;
  ASSERT_TRUE(platform::LoadDialogResource(IDD_ABOUTBOX, &t));
  EXPECT_EQ(t.caption, platform::Utf8ToCp949("Pingbell 정보"));
  EXPECT_EQ(t.size.cx, 235);
  EXPECT_EQ(t.size.cy, 55);
  ASSERT_EQ(t.controls.size(), 4u);
  EXPECT_EQ(t.style & platform::kStyleVisible, 0u);
  EXPECT_EQ(t.controls[0].kind, platform::ControlTemplate::kStaticIcon);
  EXPECT_EQ(t.controls[0].iconId, IDR_MAINFRAME);
  EXPECT_EQ(t.controls[0].rect, (platform::Rect{11, 17, 31, 37}));
  EXPECT_EQ(t.controls[1].text, platform::Utf8ToCp949("Pingbell 버전 1.0"));
  EXPECT_NE(t.controls[2].text.find("2007"), std::string::npos);
  EXPECT_EQ(t.controls[3].rect, (platform::Rect{178, 7, 228, 21}));
}

TEST_F(PingbellTest, SystemMenuEndsWithASeparatorAndTheAboutItem) {
  CPingbellDlg dialog;
  ASSERT_TRUE(dialog.Create());
  auto menu = dialog.SystemMenu();
  ASSERT_GE(menu.size(), 2u);
  EXPECT_EQ(menu[menu.size() - 2].id, 0u);
  EXPECT_EQ(menu.back().id, IDM_ABOUTBOX);
  EXPECT_EQ(menu.back().text, platform::Utf8ToCp949("Pingbell 정보(&A)..."));
  EXPECT_EQ(dialog.GetIcon(true).Width(), 32);
  EXPECT_EQ(dialog.GetIcon(false).Width(), 16);
  dialog.Destroy();
}

TEST_F(PingbellTest, TheAboutCommandShowsTheAboutBoxAndComesBack) {
  platform::testing_support::SetTestVariable("KIVRO_GUI_CLOSE_AFTER", "100");  // nobody is there to close it
  CPingbellDlg dialog;
  ASSERT_TRUE(dialog.Create());
  dialog.OnSysCommand(IDM_ABOUTBOX | 0x5);  // the low four bits are the system's
  EXPECT_EQ(dialog.AboutShownCount(), 1);
  EXPECT_FALSE(dialog.IsEnded());  // back to the main dialog
  dialog.OnSysCommand(platform::kScMinimize);
  EXPECT_EQ(dialog.AboutShownCount(), 1);
  EXPECT_TRUE(dialog.IsIconic());
  platform::testing_support::UnsetTestVariable("KIVRO_GUI_CLOSE_AFTER");
  dialog.Destroy();
}

TEST_F(PingbellTest, OkEndsTheDialogWithOk) {
  CPingbellDlg dialog;
  ASSERT_TRUE(dialog.Create());
  EXPECT_EQ(ClickAndWait(dialog, kIdOk), kIdOk);
}

TEST_F(PingbellTest, CancelEndsTheDialogWithCancel) {
  CPingbellDlg dialog;
  ASSERT_TRUE(dialog.Create());
  EXPECT_EQ(ClickAndWait(dialog, kIdCancel), kIdCancel);
}

TEST_F(PingbellTest, MinimisedItPaintsTheIconInTheMiddle) {
  CPingbellDlg dialog;
  ASSERT_TRUE(dialog.Create());
  dialog.Show(platform::ShowCommand::kMinimize);
  dialog.Invalidate();
  dialog.UpdateWindow();
  platform::Bitmap shot = gt::CaptureWindow(dialog);
  platform::Rect client = dialog.GetClientRect();
  int32_t x0 = (client.Width() - 32 + 1) / 2, y0 = (client.Height() - 32 + 1) / 2;
  const platform::Icon& icon = dialog.GetIcon(true);
  // The buttons are child windows: the toolkit paints them over their
  // parent even while it is minimised, so only the pixels they leave are
  // the dialog's own.
  auto under_a_button = [&](int32_t cx, int32_t cy) {
    for (int32_t id : {kIdOk, kIdCancel}) {
      platform::Rect r = dialog.GetDlgItem(id)->GetWindowRect();
      platform::Point tl = dialog.ScreenToClient({r.left, r.top});
      if (cx >= tl.x && cx < tl.x + r.Width() && cy >= tl.y && cy < tl.y + r.Height()) return true;
    }
    return false;
  };
  // Every opaque icon pixel is where it belongs; outside the icon, background.
  int compared = 0;
  for (int32_t y = 0; y < 32; ++y) {
    for (int32_t x = 0; x < 32; ++x) {
      uint32_t argb = icon.Argb(x, y);
      if ((argb >> 24) != 0xFF || under_a_button(x0 + x, y0 + y)) continue;
      ASSERT_EQ(shot.Row(y0 + y)[x0 + x] & 0xFFFFFF, argb & 0xFFFFFF) << x << "," << y;
      ++compared;
    }
  }
  EXPECT_GT(compared, 50);
  if (x0 > 0) {
    EXPECT_NE(shot.Row(0)[0] & 0xFFFFFF, icon.Argb(16, 16) & 0xFFFFFF);
  }
  dialog.Destroy();
}

#if !defined(_WIN32)
// The program itself: no display, any argument.
TEST(PingbellProgramTest, WithoutADisplayItNamesItselfAndEndsAsOk) {
  for (const char* args : {"", " 'ZelNoti:ping?a=1'"}) {
    std::string command =
        std::string("env -u DISPLAY -u KIVRO_GUI -u WAYLAND_DISPLAY " PINGBELL_PROGRAM) + args +
        " 2>&1";
    FILE* pipe = popen(command.c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    std::string out;
    char buffer[128];
    while (fgets(buffer, sizeof buffer, pipe) != nullptr) out += buffer;
    int status = pclose(pipe);
    EXPECT_EQ(out, "Pingbell\n") << args;
    EXPECT_EQ(status, 0) << args;
  }
}
#else
// On Windows there is always a screen; the toolkit's off-screen backend,
// chosen by KIVRO_GUI, is the program without one.
TEST(PingbellProgramTest, OffScreenItNamesItselfAndEndsAsOk) {
  std::string program = PINGBELL_PROGRAM;
  std::replace(program.begin(), program.end(), '/', '\\');
  std::string output = program + ".out.txt";
  platform::testing_support::SetTestVariable("KIVRO_GUI", "offscreen");
  for (const char* args : {"", " ZelNoti:ping?a=1"}) {
    // Through a file, not a pipe: under Wine a console program's helpers
    // may hold a pipe's end open after the program has ended.
    std::string command = "\"" + program + "\"" + args + " > \"" + output + "\" 2>&1";
    // cmd.exe /c drops the first and the last quote of the whole command.
    int status = std::system(("\"" + command + "\"").c_str());
    std::string out;
    if (FILE* f = fopen(output.c_str(), "rb")) {
      char buffer[128];
      size_t n;
      while ((n = fread(buffer, 1, sizeof buffer, f)) > 0) out.append(buffer, n);
      fclose(f);
    }
    std::remove(output.c_str());
    // The console turns line ends into CR LF.
    out.erase(std::remove(out.begin(), out.end(), '\r'), out.end());
    EXPECT_EQ(out, "Pingbell\n") << args;
    EXPECT_EQ(status, 0) << args;
  }
  platform::testing_support::UnsetTestVariable("KIVRO_GUI");
}

// Its real window: found by its caption, closed by the system's close (as
// the title bar's close box does), which ends the program.
TEST(PingbellProgramTest, ItsWindowIsFoundAndClosingItEndsTheProgram) {
  platform::Process pingbell;
  ASSERT_TRUE(pingbell.Start(PINGBELL_PROGRAM, {"ZelNoti:ping?a=1"}));
  platform::TopWindow window = 0;
  for (int attempt = 0; attempt < 200 && window == 0 && !pingbell.Wait(0); ++attempt) {
    window = platform::FindTopLevelWindow("Pingbell");
    if (window == 0) platform::Sleep(50);
  }
  if (window == 0) {
    pingbell.Terminate();
    FAIL() << "no window titled Pingbell appeared";
  }
  EXPECT_FALSE(pingbell.Wait(300));  // it waits for the user
  constexpr uint32_t kWmClose = 0x0010;
  EXPECT_EQ(platform::SendTopWindowMessage(window, kWmClose, 0, 0, 5000, nullptr),
            platform::SendResult::kAnswered);
  ASSERT_TRUE(pingbell.Wait(10000)) << "closing the window did not end the program";
  uint32_t code = 1;
  ASSERT_TRUE(pingbell.ExitCode(&code));
  EXPECT_EQ(code, 0u);
  EXPECT_EQ(platform::FindTopLevelWindow("Pingbell"), 0u);
}
#endif

}  // namespace

}  // namespace kivro
