// Cost of one progress repaint of a launcher-like window: the whole window
// repainted through a 640 x 410 back buffer (background, two bars, three
// text lines, four skinned buttons, the clip region), asked for by a worker
// thread and carried out by the UI thread while the worker waits. Compared
// with copying the same 640 x 410 frame with memcpy, the floor for any
// repaint that touches every pixel once.
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <thread>
#include <vector>

#include "launcher/tuv_button.h"
#include "platform/codepage.h"
#include "platform/resource.h"
#include "platform/window.h"
#include "platform/testing/window_testing.h"

namespace kivro {

using namespace platform;

namespace {

DialogTemplate Description() {
  DialogTemplate t;
  t.dialogUnits = false;
  t.size = {405, 218};
  t.style = kStylePopup | kStyleVisible;
  for (int id : {1008, 1009, 1010, 1011})
    t.controls.push_back({ControlTemplate::kOwnerDrawButton, id, {0, 0, 10, 10}, ""});
  return t;
}

class Frame : public Dialog {
 public:
  Frame() : Dialog(Description()) {
    AttachControl(1008, &update_);
    AttachControl(1009, &cancel_);
    AttachControl(1010, &start_);
    AttachControl(1011, &exit_);
  }
  std::atomic<int> bar{0};

 protected:
  bool OnInitDialog() override {
    background_ = LoadBitmapResource(140);
    strip_ = LoadBitmapResource(141);
    font_.Create(12, 400, Utf8ToCp949("굴림"));
    clip_.CombineFrom(Region::FromRect({0, 0, 405, 218}), Region::FromRect({0, 300, 10, 310}),
                      Region::kXor);
    struct {
      CTuvButton* b;
      Rect at;
      int skin;
    } buttons[] = {{&update_, {160, 585, 170, 595}, 147},
                   {&start_, {220, 585, 230, 595}, 145},
                   {&exit_, {340, 585, 350, 595}, 146},
                   {&cancel_, {320, 185, 330, 195}, 148}};
    for (auto& b : buttons) {
      b.b->Move(b.at);
      b.b->SetSkin(b.skin, Rgb(0, 0, 255));
    }
    return true;
  }
  bool OnEraseBackground(Dc&) override { return true; }
  void OnPaint(Dc& dc) override {
    Bitmap back = CreateCompatibleBitmap(dc, 640, 410);
    MemoryDc bdc, src;
    bdc.SelectBitmap(&back);
    src.SelectBitmap(&background_);
    bdc.BitBlt(0, 0, 640, 410, &src, 0, 0, kSrcCopy);
    src.SelectBitmap(&strip_);
    int v = bar.load();
    bdc.BitBlt(8, 132, v * 390 / 100, 11, &src, 0, 0, kSrcCopy);
    bdc.BitBlt(8, 169, v * 390 / 100, 11, &src, 0, 0, kSrcCopy);
    bdc.SelectFont(&font_);
    bdc.SetBkMode(kTransparent);
    bdc.DrawTextAt(13, 153, Utf8ToCp949("프로그램 설치 중 [3/7]"));
    bdc.DrawTextAt(13, 116, "C:\\Zelmora\\KOREAN\\Gobanvista\\data\\map_0042.npk");
    bdc.DrawTextAt(13, 561, "");
    for (CTuvButton* b : {&start_, &exit_, &update_, &cancel_}) b->DrawOnParent(bdc);
    dc.SelectClipRegion(&clip_);
    dc.BitBlt(0, 0, 640, 410, &bdc, 0, 0, kSrcCopy);
    src.SelectBitmap(nullptr);
    bdc.SelectBitmap(nullptr);
  }

 private:
  CTuvButton update_, cancel_, start_, exit_;
  Bitmap background_, strip_;
  Font font_;
  Region clip_;
};

}  // namespace

}  // namespace kivro

using namespace kivro;

int main() {
  InitGui("offscreen");
  Frame frame;
  if (!frame.Create()) return 1;
  constexpr int kRepaints = 2000;
  std::atomic<bool> done{false};
  auto t0 = std::chrono::steady_clock::now();
  std::thread worker([&] {
    for (int i = 0; i < kRepaints; ++i) {
      frame.bar = i % 101;
      frame.Invalidate(false);
      frame.UpdateWindow();
    }
    done = true;
  });
  gui_testing::PumpUntil([&] { return done.load(); }, 600000);
  worker.join();
  double repaint_us =
      std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - t0).count() /
      kRepaints;

  std::vector<uint32_t> a(640 * 410, 0x123456), b(640 * 410);
  constexpr int kCopies = 20000;
  auto t1 = std::chrono::steady_clock::now();
  for (int i = 0; i < kCopies; ++i) {
    a[i % a.size()] = i;
    memcpy(b.data(), a.data(), a.size() * 4);
  }
  volatile uint32_t sink = b[7];
  (void)sink;
  double copy_us =
      std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - t1).count() /
      kCopies;
  printf("launcher repaint from a worker: %.1f us (%.0f per second)\n", repaint_us,
         1e6 / repaint_us);
  printf("memcpy of a 640x410 frame:      %.1f us\n", copy_us);
  printf("ratio repaint / memcpy:         %.1f\n", repaint_us / copy_us);
  frame.Destroy();
  return 0;
}
