// A skinned button in a real window under a private X server: the pointer
// moved over it by the X server makes it show its hover cell on screen.
// Screenshots are saved as PNG files in the build tree.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <functional>
#include <string>
#include <thread>

#include "launcher/tuv_button.h"
#include "platform/codepage.h"
#include "platform/resource.h"
#include "platform/window.h"
#include "platform/testing/window_testing.h"
#include "platform/testing/window_xvfb.h"

namespace kivro {

using namespace platform;

namespace {

constexpr ColorRef kKey = Rgb(0, 0, 255);

DialogTemplate Description() {
  DialogTemplate t;
  t.dialogUnits = false;
  t.size = {405, 218};
  t.style = kStylePopup | kStyleVisible | kStyleSysMenu | kStyleAppWindow;
  t.caption = "KIVROInstaller";
  t.controls.push_back({ControlTemplate::kOwnerDrawButton, 1009, {320, 185, 330, 190}, ""});
  return t;
}

class Window405 : public Dialog {
 public:
  Window405() : Dialog(Description()), background_(LoadBitmapResource(140)) {
    AttachControl(1009, &cancel);
  }
  CTuvButton cancel;
  std::function<void()> on_timer;
  const Bitmap& background() const { return background_; }

 protected:
  bool OnInitDialog() override {
    SetIcon(LoadIconResource(128, 32), true);
    SetIcon(LoadIconResource(128, 16), false);
    EXPECT_TRUE(cancel.SetSkin(148, kKey));
    return true;
  }
  bool OnEraseBackground(Dc&) override { return true; }
  void OnTimer(uint32_t) override {
    if (on_timer) on_timer();
  }
  void OnPaint(Dc& dc) override {
    MemoryDc src;
    src.SelectBitmap(&background_);
    dc.BitBlt(0, 0, 405, 218, &src, 0, 0, kSrcCopy);
    src.SelectBitmap(nullptr);
  }

 private:
  Bitmap background_;
};

std::string OutputPath(const char* name) {
  const char* dir = getenv("KIVRO_BUILD_DIR");
  return std::string(dir ? dir : ".") + "/" + name;
}

// Compares the button's part of a screenshot of the whole window with
// `cell` drawn over the background; returns the count of differing pixels.
int CellDifferences(const Bitmap& shot, const Window405& w, int cell) {
  Bitmap skin = LoadBitmapResource(148);
  int wrong = 0;
  for (int y = 0; y < 22; ++y)
    for (int x = 0; x < 78; ++x) {
      ColorRef p = skin.GetPixel(cell * 78 + x, y);
      ColorRef want = p == kKey ? w.background().GetPixel(320 + x, 185 + y) : p;
      wrong += shot.GetPixel(320 + x, 185 + y) != want;
    }
  return wrong;
}

TEST(TuvXvfb, PointerOverTheButtonShowsTheHoverCellOnScreen) {
  gui_testing::XvfbSession x;
  std::string why;
  auto started = x.Start(800, 600, &why);
  if (started == gui_testing::XvfbSession::kMissing) GTEST_SKIP() << why;
  ASSERT_EQ(started, gui_testing::XvfbSession::kStarted) << why;
  ASSERT_TRUE(InitGui("sdl"));
  ASSERT_STREQ(GuiBackendName(), "sdl");

  Window405 window;
  ASSERT_TRUE(window.Create());
  EXPECT_NE(window.NativeId(), 0u);
  x.MovePointer(2, 2);
  gui_testing::PumpMessages(400);
  Rect r = window.GetWindowRect();
  ASSERT_EQ(r.Width(), 405);

  Bitmap before = x.Screenshot(r);
  ASSERT_FALSE(before.IsNull());
  EXPECT_TRUE(gui_testing::WritePng(before, OutputPath("tuv_xvfb_normal.png")));
  EXPECT_EQ(CellDifferences(before, window, 0), 0) << "normal cell on screen";
  // The window's other pixels are the background.
  EXPECT_EQ(before.GetPixel(100, 50), window.background().GetPixel(100, 50));

  Rect button = window.cancel.GetWindowRect();
  x.MovePointer(button.left + 40, button.top + 11);
  ASSERT_TRUE(gui_testing::PumpUntil([&] { return window.cancel.Hover() == 1; }, 5000))
      << "no hover notification from the X server's motion";
  gui_testing::PumpMessages(200);
  Bitmap hover = x.Screenshot(r);
  ASSERT_FALSE(hover.IsNull());
  EXPECT_TRUE(gui_testing::WritePng(hover, OutputPath("tuv_xvfb_hover.png")));
  EXPECT_EQ(CellDifferences(hover, window, 1), 0) << "hover cell on screen";
  EXPECT_GT(CellDifferences(hover, window, 0), 0);

  // Away again: back to the normal cell.
  x.MovePointer(r.left + 20, r.top + 20);
  ASSERT_TRUE(gui_testing::PumpUntil([&] { return window.cancel.Hover() == 0; }, 5000));
  gui_testing::PumpMessages(200);
  EXPECT_EQ(CellDifferences(x.Screenshot(r), window, 0), 0);

  // A message box asked for by a worker thread: shown by the UI thread as a
  // real window over ours, answered with Return, the answer back to the
  // worker.
  std::atomic<int32_t> answer{-1};
  Bitmap box_shot;
  bool seen = false;
  window.on_timer = [&] {
    Window* box = gui_testing::ActiveModal();
    if (!box || box == &window || seen) return;
    seen = true;  // the pump below runs this timer again
    gui_testing::PumpMessages(300);
    box_shot = x.Screenshot(box->GetWindowRect());
    gui_testing::InjectKey(*box, kKeyReturn);
  };
  window.SetTimer(7, 50);
  std::thread worker(
      [&] { answer = ShowMessageBox(&window, Utf8ToCp949("업데이트 정보를 확인하지 못했습니다.")); });
  ASSERT_TRUE(gui_testing::PumpUntil([&] { return answer.load() != -1; }, 10000));
  worker.join();
  EXPECT_EQ(answer.load(), kIdOk);
  ASSERT_FALSE(box_shot.IsNull());
  EXPECT_TRUE(gui_testing::WritePng(box_shot, OutputPath("tuv_xvfb_message_box.png")));
  int ink = 0;
  for (int y = 0; y < box_shot.Height(); ++y)
    for (int x2 = 0; x2 < box_shot.Width(); ++x2) ink += RedOf(box_shot.GetPixel(x2, y)) < 60;
  EXPECT_GT(ink, 40) << "the message text is drawn";
  window.Destroy();
}

}  // namespace

}  // namespace kivro
