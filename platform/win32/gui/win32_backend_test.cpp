// The toolkit on real windows: each top-level window is a system window
// found by its title, sized to the toolkit's client area, fed the system's
// input, answering other programs' sent messages, and showing the toolkit's
// frame. Under Wine the prefix's desktop is headless: windows and messages
// are real, the screen is not, so pixels are read back through
// PrintWindow, never from a screen.
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <vector>

#include "platform/codepage.h"
#include "platform/process.h"
#include "platform/testing/window_testing.h"
#include "platform/top_windows.h"
#include "platform/window.h"

namespace platform {
namespace {

namespace gt = gui_testing;

constexpr uint32_t kAsk = 0x046F;  // a program message of the portal's kind
constexpr int32_t kButtonId = 1008;

HWND HwndOf(const Window& w) { return reinterpret_cast<HWND>(static_cast<uintptr_t>(w.NativeId())); }

class TestDialog : public Dialog {
 public:
  explicit TestDialog(DialogTemplate t) : Dialog(std::move(t)) {}
  std::vector<std::string> log;
  std::atomic<int> asked{0};

 protected:
  intptr_t OnMessage(uint32_t message, uintptr_t wparam, intptr_t lparam) override {
    if (message != kAsk) return Dialog::OnMessage(message, wparam, lparam);
    ++asked;
    return static_cast<intptr_t>(wparam) + lparam;
  }
  void OnCommand(int32_t id) override {
    log.push_back("command " + std::to_string(id));
    Dialog::OnCommand(id);
  }
  bool OnKeyDown(int32_t key) override {
    log.push_back("key " + std::to_string(key));
    return Dialog::OnKeyDown(key);
  }
  void OnSysCommand(uint32_t command) override {
    log.push_back("syscommand " + std::to_string(command));
    Dialog::OnSysCommand(command);
  }
};

DialogTemplate Description(const std::string& caption, uint32_t style) {
  DialogTemplate t;
  t.size = {200, 120};
  t.dialogUnits = false;
  t.style = style;
  t.caption = caption;
  ControlTemplate button;
  button.kind = ControlTemplate::kPushButton;
  button.id = kButtonId;
  button.rect = {20, 30, 120, 60};
  button.text = "Go";
  t.controls.push_back(button);
  return t;
}

class Win32WindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(InitGui());
    if (std::string(GuiBackendName()) != "win32") GTEST_SKIP() << "no windows can be made here";
  }
};

TEST_F(Win32WindowTest, TheDefaultBackendMakesSystemWindowsFoundByTheirTitles) {
  EXPECT_TRUE(HasScreen());
  std::string korean = Utf8ToCp949("스톤게이트 시험");
  TestDialog dialog(Description(korean, kStylePopup | kStyleCaption | kStyleSysMenu | kStyleVisible));
  ASSERT_TRUE(dialog.Create());
  HWND hwnd = HwndOf(dialog);
  ASSERT_TRUE(IsWindow(hwnd));
  EXPECT_EQ(FindTopLevelWindow(korean), dialog.NativeId());
  EXPECT_EQ(GetTopWindowTitle(dialog.NativeId()), korean);
  EXPECT_TRUE(IsWindowVisible(hwnd));
  dialog.SetText("Renamed");
  EXPECT_EQ(GetTopWindowTitle(dialog.NativeId()), "Renamed");
  dialog.Destroy();
  EXPECT_FALSE(IsWindow(hwnd));
  EXPECT_EQ(FindTopLevelWindow("Renamed"), 0u);
}

TEST_F(Win32WindowTest, TheClientAreaIsTheToolkitsSizeWithAndWithoutATitleBar) {
  for (uint32_t style : {kStylePopup | kStyleVisible, kStylePopup | kStyleCaption | kStyleSysMenu |
                                                          kStyleModalFrame | kStyleVisible}) {
    TestDialog dialog(Description("sized", style));
    ASSERT_TRUE(dialog.Create());
    HWND hwnd = HwndOf(dialog);
    RECT client{};
    GetClientRect(hwnd, &client);
    EXPECT_EQ(client.right, 200) << style;
    EXPECT_EQ(client.bottom, 120) << style;
    EXPECT_EQ((GetWindowLongW(hwnd, GWL_STYLE) & WS_CAPTION) == WS_CAPTION, (style & kStyleCaption) != 0);
    // Moving the toolkit's window moves the client area to that place.
    ASSERT_TRUE(dialog.Move({130, 90, 330, 250}));
    POINT origin{0, 0};
    ClientToScreen(hwnd, &origin);
    GetClientRect(hwnd, &client);
    EXPECT_EQ(origin.x, 130);
    EXPECT_EQ(origin.y, 90);
    EXPECT_EQ(client.right, 200);
    EXPECT_EQ(client.bottom, 160);
    dialog.Destroy();
  }
}

TEST_F(Win32WindowTest, AnOwnedDialogIsOwnedByItsOwnersSystemWindow) {
  TestDialog owner(Description("owner", kStylePopup | kStyleCaption | kStyleVisible));
  ASSERT_TRUE(owner.Create());
  DialogTemplate t = Description("owned", kStylePopup | kStyleCaption | kStyleVisible);
  Dialog owned(t, &owner);
  ASSERT_TRUE(owned.Create());
  EXPECT_EQ(GetWindow(HwndOf(owned), GW_OWNER), HwndOf(owner));
  owned.Destroy();
  owner.Destroy();
}

TEST_F(Win32WindowTest, SystemMouseInputClicksTheToolkitsButton) {
  TestDialog dialog(Description("clicks", kStylePopup | kStyleCaption | kStyleVisible));
  ASSERT_TRUE(dialog.Create());
  HWND hwnd = HwndOf(dialog);
  LPARAM centre = MAKELPARAM(70, 45);  // the button's middle, in client coordinates
  PostMessageW(hwnd, WM_MOUSEMOVE, 0, centre);
  PostMessageW(hwnd, WM_LBUTTONDOWN, MK_LBUTTON, centre);
  PostMessageW(hwnd, WM_LBUTTONUP, 0, centre);
  ASSERT_TRUE(gt::PumpUntil([&] { return !dialog.log.empty(); }, 5000));
  EXPECT_EQ(dialog.log, std::vector<std::string>{"command 1008"});
  // Pressed on the button but released beside it: no click.
  dialog.log.clear();
  PostMessageW(hwnd, WM_LBUTTONDOWN, MK_LBUTTON, centre);
  PostMessageW(hwnd, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(180, 100));
  PostMessageW(hwnd, WM_LBUTTONUP, 0, MAKELPARAM(180, 100));
  gt::PumpMessages(200);
  EXPECT_TRUE(dialog.log.empty());
  dialog.Destroy();
}

TEST_F(Win32WindowTest, KeysAndTheSystemsCloseReachTheToolkit) {
  {
    TestDialog dialog(Description("keys", kStylePopup | kStyleCaption | kStyleSysMenu | kStyleVisible));
    ASSERT_TRUE(dialog.Create());
    PostMessageW(HwndOf(dialog), WM_KEYDOWN, VK_ESCAPE, 1);
    ASSERT_TRUE(gt::PumpUntil([&] { return dialog.IsEnded(); }, 5000));
    EXPECT_EQ(dialog.Result(), kIdCancel);
    EXPECT_EQ(dialog.log, std::vector<std::string>{"key 27"});
    dialog.Destroy();
  }
  {
    // Alt+F4 (a system key, Alt held: bit 29) is the toolkit's close, once.
    TestDialog dialog(Description("alt-f4", kStylePopup | kStyleCaption | kStyleSysMenu | kStyleVisible));
    ASSERT_TRUE(dialog.Create());
    PostMessageW(HwndOf(dialog), WM_SYSKEYDOWN, VK_F4, 1 | (1 << 29));
    ASSERT_TRUE(gt::PumpUntil([&] { return dialog.IsEnded(); }, 5000));
    gt::PumpMessages(100);
    EXPECT_EQ(dialog.log, std::vector<std::string>{"syscommand " + std::to_string(kScClose)});
    dialog.Destroy();
  }
  {
    // The close box (WM_CLOSE) asks the toolkit, which closes the dialog
    // as cancelled; the system does not destroy the window by itself.
    TestDialog dialog(Description("close", kStylePopup | kStyleCaption | kStyleSysMenu | kStyleVisible));
    ASSERT_TRUE(dialog.Create());
    HWND hwnd = HwndOf(dialog);
    SendMessageW(hwnd, WM_CLOSE, 0, 0);
    EXPECT_TRUE(IsWindow(hwnd));
    ASSERT_TRUE(gt::PumpUntil([&] { return dialog.IsEnded(); }, 5000));
    EXPECT_EQ(dialog.Result(), kIdCancel);
    dialog.Destroy();
  }
}

TEST_F(Win32WindowTest, MinimisingAndRestoringFollowTheSystemWindow) {
  TestDialog dialog(Description("iconic", kStylePopup | kStyleCaption | kStyleSysMenu | kStyleVisible));
  ASSERT_TRUE(dialog.Create());
  HWND hwnd = HwndOf(dialog);
  ShowWindow(hwnd, SW_MINIMIZE);
  ASSERT_TRUE(gt::PumpUntil([&] { return dialog.IsIconic(); }, 5000));
  dialog.Show(ShowCommand::kRestore);
  EXPECT_FALSE(IsIconic(hwnd));
  gt::PumpMessages(50);
  EXPECT_FALSE(dialog.IsIconic());
  dialog.Destroy();
}

TEST_F(Win32WindowTest, AnotherProgramsSentMessageIsAnsweredByOnMessage) {
  TestDialog dialog(Description("Zelmora_Launcher", kStylePopup | kStyleCaption | kStyleVisible));
  ASSERT_TRUE(dialog.Create());
  Process sender;
  ASSERT_TRUE(sender.Start(KIVRO_TEST_SEND_MESSAGE_PROGRAM,
                           {"Zelmora_Launcher", std::to_string(kAsk), "30", "12"}));
  // The UI loop runs while the other program waits for its answer.
  ASSERT_TRUE(gt::PumpUntil([&] { return sender.Wait(0); }, 20000));
  uint32_t code = 0;
  ASSERT_TRUE(sender.ExitCode(&code));
  EXPECT_EQ(code, 42u);
  EXPECT_EQ(dialog.asked.load(), 1);
  dialog.Destroy();
}

TEST_F(Win32WindowTest, TheNativeEventHookSeesTheMessageFirstAndItsAnswerCounts) {
  TestDialog dialog(Description("Zelmora_Launcher", kStylePopup | kStyleCaption | kStyleVisible));
  ASSERT_TRUE(dialog.Create());
  int hooked = 0;
  // As a program does: the hook answers the sender through the window's
  // own OnMessage, with something added so the test sees which path ran.
  SetNativeEventHook([&](const NativeEvent* event) {
    return AnswerSentMessage(event, [&](TopWindow target, uint32_t m, uintptr_t w, intptr_t l) {
      ++hooked;
      return target == dialog.NativeId() ? dialog.SendWindowMessage(m, w, l) + 100 : intptr_t{0};
    });
  });
  Process sender;
  ASSERT_TRUE(sender.Start(KIVRO_TEST_SEND_MESSAGE_PROGRAM,
                           {"Zelmora_Launcher", std::to_string(kAsk), "5", "2"}));
  bool ended = gt::PumpUntil([&] { return sender.Wait(0); }, 20000);
  SetNativeEventHook(nullptr);
  ASSERT_TRUE(ended);
  uint32_t code = 0;
  ASSERT_TRUE(sender.ExitCode(&code));
  EXPECT_EQ(code, 107u);
  EXPECT_EQ(hooked, 1);
  EXPECT_EQ(dialog.asked.load(), 1);
  dialog.Destroy();
}

TEST_F(Win32WindowTest, TheWindowShowsTheToolkitsFrame) {
  TestDialog dialog(Description("frame", kStylePopup | kStyleCaption | kStyleVisible));
  ASSERT_TRUE(dialog.Create());
  ASSERT_TRUE(dialog.UpdateWindow());
  Bitmap expected = gt::CaptureWindow(dialog);
  ASSERT_FALSE(expected.IsNull());
  HWND hwnd = HwndOf(dialog);
  HDC screen = GetDC(nullptr);
  HDC memory = CreateCompatibleDC(screen);
  BITMAPINFO bi{};
  bi.bmiHeader.biSize = sizeof bi.bmiHeader;
  bi.bmiHeader.biWidth = 200;
  bi.bmiHeader.biHeight = -120;
  bi.bmiHeader.biPlanes = 1;
  bi.bmiHeader.biBitCount = 32;
  void* bits = nullptr;
  HBITMAP dib = CreateDIBSection(memory, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
  ASSERT_NE(dib, nullptr);
  memset(bits, 0x5A, 200 * 120 * 4);
  HGDIOBJ old = SelectObject(memory, dib);
  SendMessageW(hwnd, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(memory), PRF_CLIENT);
  GdiFlush();
  const uint32_t* px = static_cast<const uint32_t*>(bits);
  int differ = 0;
  for (int y = 0; y < 120; ++y)
    for (int x = 0; x < 200; ++x)
      if ((px[y * 200 + x] & 0xFFFFFF) != (expected.Row(y)[x] & 0xFFFFFF)) ++differ;
  EXPECT_EQ(differ, 0);
  SelectObject(memory, old);
  DeleteObject(dib);
  DeleteDC(memory);
  ReleaseDC(nullptr, screen);
  dialog.Destroy();
}

TEST_F(Win32WindowTest, TheToolkitsIconBecomesTheWindowsIcon) {
  TestDialog dialog(Description("icon", kStylePopup | kStyleCaption | kStyleSysMenu | kStyleVisible));
  ASSERT_TRUE(dialog.Create());
  HWND hwnd = HwndOf(dialog);
  EXPECT_EQ(SendMessageW(hwnd, WM_GETICON, ICON_BIG, 0), 0);
  const uint8_t ico[] = {
      0, 0, 1, 0, 1, 0,                                   // one image
      2, 2, 0, 0, 1, 0, 32, 0, 64, 0, 0, 0, 22, 0, 0, 0,  // 2 x 2, 32 bits, 64 bytes at 22
      40, 0, 0, 0, 2, 0, 0, 0, 4, 0, 0, 0, 1, 0, 32, 0, 0, 0, 0, 0, 0, 0, 0, 0,
      0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,     // header
      0, 0, 255, 255, 0, 255, 0, 255, 255, 0, 0, 255, 0, 0, 0, 0,  // pixels
      0, 0, 0, 0, 0, 0, 0, 0};                            // mask
  Icon icon = Icon::Decode(ico, sizeof ico, 2);
  ASSERT_FALSE(icon.IsNull());
  dialog.SetIcon(icon, true);
  HICON big = reinterpret_cast<HICON>(SendMessageW(hwnd, WM_GETICON, ICON_BIG, 0));
  ASSERT_NE(big, nullptr);
  ICONINFO info{};
  ASSERT_TRUE(GetIconInfo(big, &info));
  BITMAP colour{};
  GetObjectW(info.hbmColor, sizeof colour, &colour);
  EXPECT_EQ(colour.bmWidth, 2);
  EXPECT_EQ(colour.bmHeight, 2);
  DeleteObject(info.hbmColor);
  DeleteObject(info.hbmMask);
  dialog.Destroy();
}

TEST_F(Win32WindowTest, TheToolkitsCursorIsShownOverTheClientArea) {
  TestDialog dialog(Description("cursor", kStylePopup | kStyleCaption | kStyleVisible));
  ASSERT_TRUE(dialog.Create());
  HWND hwnd = HwndOf(dialog);
  // The window class has no cursor of its own: WM_SETCURSOR sets the
  // toolkit's current one over the client area.
  SetCursor(Cursor::kHand);
  SendMessageW(hwnd, WM_SETCURSOR, reinterpret_cast<WPARAM>(hwnd), MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
  EXPECT_EQ(::GetCursor(), LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_HAND)));
  SetCursor(Cursor::kWait);
  SendMessageW(hwnd, WM_SETCURSOR, reinterpret_cast<WPARAM>(hwnd), MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
  EXPECT_EQ(::GetCursor(), LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_WAIT)));
  SetCursor(Cursor::kArrow);
  dialog.Destroy();
}

}  // namespace
}  // namespace platform
