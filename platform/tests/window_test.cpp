// The window toolkit on the off-screen backend: dialogs, controls, input,
// timers, painting and message boxes.
#include "platform/window.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "platform/codepage.h"
#include "platform/testing/window_testing.h"
#include "platform/testing/environment.h"

namespace platform {
namespace {

using gui_testing::CaptureWindow;
using gui_testing::InjectMouseButton;
using gui_testing::InjectMouseMove;
using gui_testing::PumpMessages;
using gui_testing::PumpUntil;

constexpr ColorRef kPaper = Rgb(10, 200, 30);

DialogTemplate Description() {
  DialogTemplate t;
  t.size = {200, 120};
  t.dialogUnits = false;
  t.style = kStylePopup | kStyleVisible | kStyleSysMenu;
  t.caption = "test";
  t.controls.push_back({ControlTemplate::kPushButton, 1008, {10, 10, 70, 40}, "Go"});
  t.controls.push_back({ControlTemplate::kStaticText, 1000, {10, 60, 190, 80}, "hidden", false});
  return t;
}

// Paints itself in one colour and records what happens to it.
class Recorder : public Dialog {
 public:
  explicit Recorder(DialogTemplate t = Description()) : Dialog(std::move(t)) {}
  std::vector<int32_t> commands;
  std::vector<uint32_t> timers;
  int paints = 0, erases = 0;
  ColorRef colour = kPaper;
  std::function<void(uint32_t)> on_timer;

 protected:
  void OnPaint(Dc& dc) override {
    ++paints;
    dc.FillSolidRect(GetClientRect(), colour);
  }
  bool OnEraseBackground(Dc&) override {
    ++erases;
    return true;
  }
  void OnCommand(int32_t id) override {
    commands.push_back(id);
    Dialog::OnCommand(id);
  }
  void OnTimer(uint32_t id) override {
    timers.push_back(id);
    if (on_timer) on_timer(id);
  }
};

class WindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(InitGui("offscreen"));
    ASSERT_STREQ(GuiBackendName(), "offscreen");
  }
};

TEST_F(WindowTest, OffScreenThereIsNoScreen) { EXPECT_FALSE(HasScreen()); }

TEST_F(WindowTest, DialogDescriptionMakesItsControls) {
  Recorder dlg;
  ASSERT_TRUE(dlg.Create());
  EXPECT_EQ(dlg.GetClientRect(), (Rect{0, 0, 200, 120}));
  Window* button = dlg.GetDlgItem(1008);
  ASSERT_NE(button, nullptr);
  EXPECT_EQ(button->GetClientRect(), (Rect{0, 0, 60, 30}));
  EXPECT_EQ(button->GetText(), "Go");
  Point screen = button->ClientToScreen({0, 0});
  EXPECT_EQ(dlg.ScreenToClient(screen).x, 10);
  EXPECT_FALSE(dlg.GetDlgItem(1000)->IsVisible());
  EXPECT_EQ(dlg.GetDlgItem(4242), nullptr);
  dlg.Destroy();
  EXPECT_FALSE(dlg.IsAlive());
  EXPECT_FALSE(button->IsAlive());
}

TEST_F(WindowTest, DialogUnitsFollowTheFont) {
  DialogTemplate t = Description();
  t.dialogUnits = true;
  t.size = {87, 62};  // the notifier's size
  t.fontFace = Utf8ToCp949("굴림");
  t.fontPoints = 9;
  t.controls.clear();
  Recorder dlg(t);
  ASSERT_TRUE(dlg.Create());
  // 9 pt: 12 pixels high, 6 wide on average: 1.5 pixels per unit each way.
  EXPECT_EQ(dlg.GetClientRect(), (Rect{0, 0, 130, 93}));
}

TEST_F(WindowTest, ModalRunEndsWithTheEndDialogResult) {
  struct Starter : Recorder {
    bool OnInitDialog() override {
      SetTimer(11, 5);
      return true;
    }
  };
  Starter s;
  s.on_timer = [&](uint32_t id) {
    if (s.timers.size() == 3) {
      EXPECT_TRUE(s.KillTimer(id));
      s.EndDialog(77);
    }
  };
  EXPECT_EQ(s.DoModal(), 77);
  EXPECT_EQ(s.timers, (std::vector<uint32_t>{11, 11, 11}));
  EXPECT_FALSE(s.IsAlive());
}

TEST_F(WindowTest, EndDialogDuringInitialisationEndsAtOnce) {
  struct Quitter : Recorder {
    bool OnInitDialog() override {
      EndDialog(kIdCancel);
      return true;
    }
  } q;
  EXPECT_EQ(q.DoModal(), kIdCancel);
}

TEST_F(WindowTest, ClickReachesTheParentOnlyWhenReleasedInside) {
  Recorder dlg;
  ASSERT_TRUE(dlg.Create());
  Window* button = dlg.GetDlgItem(1008);
  InjectMouseMove(*button, {5, 5});
  InjectMouseButton(*button, {5, 5}, true);
  InjectMouseButton(*button, {6, 6}, false);
  PumpMessages(20);
  EXPECT_EQ(dlg.commands, std::vector<int32_t>{1008});
  // Pressed, dragged off and released outside: no click.
  InjectMouseButton(*button, {5, 5}, true);
  InjectMouseMove(*button, {100, 5});
  InjectMouseButton(*button, {100, 5}, false);
  PumpMessages(20);
  EXPECT_EQ(dlg.commands.size(), 1u);
}

TEST_F(WindowTest, DisabledButtonGetsNoClicks) {
  Recorder dlg;
  ASSERT_TRUE(dlg.Create());
  Window* button = dlg.GetDlgItem(1008);
  EXPECT_TRUE(button->Enable(false));
  EXPECT_FALSE(button->IsEnabled());
  InjectMouseButton(*button, {5, 5}, true);
  InjectMouseButton(*button, {5, 5}, false);
  PumpMessages(20);
  EXPECT_TRUE(dlg.commands.empty());
}

// Records hover and leave notifications.
class Tracker : public Window {
 public:
  int hovers = 0, leaves = 0;
  bool Make(Window* parent, Rect r) { return CreateChild(parent, 5, r, true); }

 protected:
  void OnMouseMove(Point) override { TrackMouseEvent(kTrackHover | kTrackLeave, 1); }
  void OnMouseHover(Point) override { ++hovers; }
  void OnMouseLeave() override { ++leaves; }
};

TEST_F(WindowTest, HoverFiresOnceAfterTheHoverTimeAndLeaveWhenTheMouseGoes) {
  Recorder dlg;
  ASSERT_TRUE(dlg.Create());
  Tracker t;
  ASSERT_TRUE(t.Make(&dlg, {100, 10, 150, 40}));
  InjectMouseMove(t, {3, 3});
  ASSERT_TRUE(PumpUntil([&] { return t.hovers == 1; }, 1000));
  PumpMessages(20);
  EXPECT_EQ(t.hovers, 1);
  EXPECT_EQ(t.leaves, 0);
  InjectMouseMove(dlg, {5, 100});
  PumpMessages(10);
  EXPECT_EQ(t.leaves, 1);
  // Leaving the top-level window counts as leaving too.
  InjectMouseMove(t, {3, 3});
  PumpMessages(10);
  gui_testing::InjectMouseLeaveTop(dlg);
  PumpMessages(10);
  EXPECT_EQ(t.leaves, 2);
}

TEST_F(WindowTest, EraseOnlyWhenAskedAndUpdateWindowPaintsAtOnce) {
  Recorder dlg;
  ASSERT_TRUE(dlg.Create());
  PumpMessages(10);
  EXPECT_GE(dlg.paints, 1);
  int erases = dlg.erases, paints = dlg.paints;
  dlg.colour = Rgb(1, 2, 3);
  dlg.Invalidate(false);
  dlg.UpdateWindow();
  EXPECT_EQ(dlg.paints, paints + 1);
  EXPECT_EQ(dlg.erases, erases);
  EXPECT_EQ(CaptureWindow(dlg).GetPixel(150, 100), Rgb(1, 2, 3));
  dlg.Invalidate(true);
  dlg.UpdateWindow();
  EXPECT_EQ(dlg.erases, erases + 1);
  // Nothing invalid: no paint.
  dlg.UpdateWindow();
  EXPECT_EQ(dlg.paints, paints + 2);
}

TEST_F(WindowTest, ParentPaintCoversCleanChildrenUntilTheyRepaint) {
  Recorder dlg;
  ASSERT_TRUE(dlg.Create());
  PumpMessages(10);
  Window* button = dlg.GetDlgItem(1008);
  ColorRef face = CaptureWindow(*button).GetPixel(30, 15);
  EXPECT_NE(face, kPaper);
  dlg.colour = Rgb(9, 9, 9);
  dlg.Invalidate(false);
  dlg.UpdateWindow();
  EXPECT_EQ(CaptureWindow(*button).GetPixel(30, 15), Rgb(9, 9, 9));
  button->Invalidate(true);
  button->UpdateWindow();
  EXPECT_EQ(CaptureWindow(*button).GetPixel(30, 15), face);
}

TEST_F(WindowTest, AChildDrawsOnlyWithinItselfAndItsParent) {
  Recorder dlg;
  ASSERT_TRUE(dlg.Create());
  PumpMessages(10);
  Tracker child;
  ASSERT_TRUE(child.Make(&dlg, {180, 100, 260, 140}));  // hangs over the corner
  {
    WindowDc dc(child);
    dc.FillSolidRect({-50, -50, 500, 500}, Rgb(255, 0, 0));
    EXPECT_EQ(dc.GetPixel(0, 0), Rgb(255, 0, 0));
    EXPECT_EQ(dc.GetPixel(25, 5), 0xFFFFFFFFu);  // outside the parent: no pixel
  }
  Bitmap shot = CaptureWindow(dlg);
  EXPECT_EQ(shot.GetPixel(180, 100), Rgb(255, 0, 0));
  EXPECT_EQ(shot.GetPixel(199, 119), Rgb(255, 0, 0));
  EXPECT_EQ(shot.GetPixel(179, 100), kPaper);
  EXPECT_EQ(shot.GetPixel(180, 99), kPaper);
}

TEST_F(WindowTest, MoveAndSize) {
  Recorder dlg;
  ASSERT_TRUE(dlg.Create());
  Rect r = dlg.GetWindowRect();
  EXPECT_TRUE(dlg.Move({r.left, r.top, r.left + 405, r.top + 218}));
  EXPECT_EQ(dlg.GetClientRect(), (Rect{0, 0, 405, 218}));
  EXPECT_EQ(CaptureWindow(dlg).Width(), 405);
  Window* button = dlg.GetDlgItem(1008);
  EXPECT_TRUE(button->Move({320, 185, 398, 207}));
  EXPECT_EQ(button->GetWindowRect().left - dlg.GetWindowRect().left, 320);
}

TEST_F(WindowTest, SystemMenuEntriesAndCommands) {
  struct Menu : Recorder {
    std::vector<uint32_t> sys;
    void OnSysCommand(uint32_t c) override {
      sys.push_back(c);
      if ((c & 0xFFF0) != 0x10) Recorder::OnSysCommand(c);
    }
  } dlg;
  ASSERT_TRUE(dlg.Create());
  dlg.AppendSystemMenu(0, "");
  dlg.AppendSystemMenu(0x10, Utf8ToCp949("Stonegate 정보(&A)..."));
  auto menu = dlg.SystemMenu();
  ASSERT_EQ(menu.size(), 2u);
  EXPECT_EQ(menu[0].id, 0u);
  EXPECT_EQ(menu[1].id, 0x10u);
  dlg.OnSysCommand(0x10);
  EXPECT_FALSE(dlg.IsEnded());
  dlg.OnSysCommand(kScClose);
  EXPECT_TRUE(dlg.IsEnded());
  EXPECT_EQ(dlg.Result(), kIdCancel);
}

TEST_F(WindowTest, SystemMenuPopUpRunsTheChosenEntry) {
  struct Menu : Recorder {
    std::vector<uint32_t> sys;
    bool popup_seen = false;
    void OnSysCommand(uint32_t c) override { sys.push_back(c); }
    void OnTimer(uint32_t) override {
      Window* popup = gui_testing::ActiveModal();
      if (!popup || popup == this || popup_seen) return;
      popup_seen = true;
      // Entries: minimise and close (24 each), separator (9), then ours.
      gui_testing::InjectMouseMove(*popup, {30, 70});
      gui_testing::InjectMouseButton(*popup, {30, 70}, false);
    }
  } dlg;
  ASSERT_TRUE(dlg.Create());
  dlg.AppendSystemMenu(0, "");
  dlg.AppendSystemMenu(0x10, Utf8ToCp949("Stonegate 정보(&A)..."));
  dlg.SetTimer(3, 10);
  gui_testing::InjectRightButtonUp(dlg, {150, 100});
  ASSERT_TRUE(PumpUntil([&] { return !dlg.sys.empty(); }, 3000));
  EXPECT_TRUE(dlg.popup_seen);
  EXPECT_EQ(dlg.sys, std::vector<uint32_t>{0x10});
  EXPECT_EQ(gui_testing::ActiveModal(), nullptr);
  // Alt+F4 is the close command.
  gui_testing::InjectKey(dlg, kKeyF4, true);
  PumpMessages(10);
  EXPECT_EQ(dlg.sys.back(), kScClose);
}

TEST_F(WindowTest, UnattendedOffscreenModalRunsEndAfterTheirTime) {
  platform::testing_support::SetTestVariable("KIVRO_GUI_CLOSE_AFTER", "30");
  Recorder dlg;
  int32_t result = dlg.DoModal();
  platform::testing_support::UnsetTestVariable("KIVRO_GUI_CLOSE_AFTER");
  EXPECT_EQ(result, kIdCancel);
}

TEST_F(WindowTest, EscapeCancelsAndMinimiseIsIconic) {
  Recorder dlg;
  ASSERT_TRUE(dlg.Create());
  EXPECT_FALSE(dlg.IsIconic());
  dlg.Show(ShowCommand::kMinimize);
  EXPECT_TRUE(dlg.IsIconic());
  dlg.Show(ShowCommand::kRestore);
  EXPECT_FALSE(dlg.IsIconic());
  gui_testing::InjectKey(dlg, kKeyEscape);
  PumpMessages(10);
  EXPECT_EQ(dlg.Result(), kIdCancel);
}

TEST_F(WindowTest, CursorIsResetToArrowUnlessAHandlerKeepsIt) {
  struct Keeper : Window {
    bool Make(Window* p) { return CreateChild(p, 6, {100, 60, 150, 100}, true); }
    bool OnSetCursor() override { return true; }
  };
  Recorder dlg;
  ASSERT_TRUE(dlg.Create());
  Keeper k;
  ASSERT_TRUE(k.Make(&dlg));
  SetCursor(Cursor::kHand);
  InjectMouseMove(k, {2, 2});
  PumpMessages(10);
  EXPECT_EQ(GetCursor(), Cursor::kHand);
  InjectMouseMove(dlg, {190, 5});
  PumpMessages(10);
  EXPECT_EQ(GetCursor(), Cursor::kArrow);
}

TEST_F(WindowTest, MessageBoxOffscreenGoesToStderrAnsweredOk) {
  ::testing::internal::CaptureStderr();
  int32_t answer = ShowMessageBox(nullptr, "FAIL TO UPDATE", "KIVROInstaller", kMbOkCancel);
  std::string err = ::testing::internal::GetCapturedStderr();
  EXPECT_EQ(answer, kIdOk);
  EXPECT_NE(err.find("FAIL TO UPDATE"), std::string::npos);
  EXPECT_NE(err.find("KIVROInstaller"), std::string::npos);
}

TEST_F(WindowTest, CallsAfterTheWindowIsGoneAreDropped) {
  Recorder dlg;
  ASSERT_TRUE(dlg.Create());
  WindowHandle h = dlg.Handle();
  ASSERT_NE(h, 0u);
  dlg.Destroy();
  EXPECT_FALSE(dlg.Invalidate(true));
  EXPECT_FALSE(dlg.SetTimer(1, 10));
  EXPECT_FALSE(dlg.EndDialog(1));
  EXPECT_FALSE(RunOnWindow(h, [](Window&) { ADD_FAILURE() << "ran for a dead window"; }));
  EXPECT_EQ(dlg.GetWindowRect(), Rect{});
}

TEST_F(WindowTest, SentMessagesAreAnsweredByTheWindow) {
  struct Answering : Recorder {
    intptr_t OnMessage(uint32_t m, uintptr_t w, intptr_t l) override {
      return m == 0x8001 ? intptr_t(w) + l : 0;
    }
  } dlg;
  ASSERT_TRUE(dlg.Create());
  EXPECT_EQ(dlg.SendWindowMessage(0x8001, 40, 2), 42);
  EXPECT_EQ(dlg.NativeId(), 0u);  // no native window off-screen
}

}  // namespace
}  // namespace platform
