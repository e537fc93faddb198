// Calls into windows from worker threads: carried out by the UI thread while
// the worker waits, dropped once the window is gone. Run under TSan too.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "platform/window.h"
#include "platform/testing/window_testing.h"

namespace platform {
namespace {

// The state a launcher-like window shares with its workers: text lines and
// bar values written by workers and painted by the UI thread.
class Progress : public Dialog {
 public:
  Progress() : Dialog(Make()) {}
  static DialogTemplate Make() {
    DialogTemplate t;
    t.dialogUnits = false;
    t.size = {100, 40};
    t.style = kStylePopup | kStyleVisible;
    t.controls.push_back({ControlTemplate::kPushButton, 1009, {0, 0, 30, 20}, "x"});
    return t;
  }
  // Worker side: the value travels to the UI thread with the repaint.
  bool SetBar(int32_t value) {
    return RunOnUiThread([&] {
      bar_ = value;
      Invalidate(false);
      UpdateWindow();
    });
  }
  int32_t bar() const { return bar_; }
  int paints = 0;

 protected:
  void OnPaint(Dc& dc) override {
    ++paints;
    dc.FillSolidRect(GetClientRect(), Rgb(0, 0, 0));
    dc.FillSolidRect({0, 30, bar_, 40}, Rgb(0, 255, 0));
  }

 private:
  int32_t bar_ = 0;
};

TEST(WindowThreads, WorkersCallIntoAWindowAtOnce) {
  ASSERT_TRUE(InitGui("offscreen"));
  Progress dlg;
  ASSERT_TRUE(dlg.Create());
  Window* button = dlg.GetDlgItem(1009);
  constexpr int kWorkers = 4, kCalls = 200;
  std::atomic<int> done{0}, succeeded{0};
  std::vector<std::thread> workers;
  for (int w = 0; w < kWorkers; ++w)
    workers.emplace_back([&, w] {
      for (int i = 0; i < kCalls; ++i) {
        bool ok = true;
        switch (i % 5) {
          case 0:
            ok = dlg.SetBar(i % 101);
            break;
          case 1:
            ok = button->Enable(i % 2 == 0);
            break;
          case 2:
            ok = button->Invalidate(true);
            break;
          case 3:
            ok = dlg.GetClientRect().Width() == 100;
            break;
          case 4:
            ok = dlg.SetText("progress " + std::to_string(w));
            break;
        }
        if (ok) ++succeeded;
      }
      ++done;
    });
  ASSERT_TRUE(gui_testing::PumpUntil([&] { return done.load() == kWorkers; }, 20000));
  for (auto& t : workers) t.join();
  EXPECT_EQ(succeeded.load(), kWorkers * kCalls);
  EXPECT_GT(dlg.paints, 0);
  // The last value written by any worker is what the window paints.
  dlg.Invalidate(false);
  dlg.UpdateWindow();
  Bitmap shot = gui_testing::CaptureWindow(dlg);
  int green = 0;
  for (int x = 0; x < 100; ++x) green += shot.GetPixel(x, 35) == Rgb(0, 255, 0);
  EXPECT_EQ(green, dlg.bar());
}

TEST(WindowThreads, CallsDuringAndAfterTheEndAreDroppedWithoutHanging) {
  ASSERT_TRUE(InitGui("offscreen"));
  Progress dlg;
  std::atomic<bool> stop{false};
  std::atomic<int> dropped{0};
  std::vector<std::thread> workers;
  struct Closer : Progress {
    bool OnInitDialog() override {
      SetTimer(1, 30);
      return true;
    }
    void OnTimer(uint32_t) override { EndDialog(kIdOk); }
  } closer;
  std::atomic<bool> started{false};
  for (int w = 0; w < 3; ++w)
    workers.emplace_back([&] {
      while (!closer.IsAlive() && !stop.load()) std::this_thread::yield();
      started = true;
      while (!stop.load())
        if (!closer.SetBar(50)) ++dropped;
    });
  EXPECT_EQ(closer.DoModal(), kIdOk);
  // The window is gone: every further call returns at once, refused.
  int before = dropped.load();
  while (dropped.load() < before + 30) std::this_thread::yield();
  stop = true;
  for (auto& t : workers) t.join();
  EXPECT_TRUE(started.load());
  EXPECT_FALSE(closer.IsAlive());
}

TEST(WindowThreads, EndDialogFromAWorkerEndsTheModalRun) {
  ASSERT_TRUE(InitGui("offscreen"));
  struct Worked : Progress {
    std::thread worker;
    bool OnInitDialog() override {
      worker = std::thread([this] {
        for (int i = 0; i <= 100; i += 10) SetBar(i);
        EXPECT_EQ(ShowMessageBox(this, "UPDATE CANCELED"), kIdOk);
        EndDialog(kIdCancel);
      });
      return true;
    }
  } dlg;
  EXPECT_EQ(dlg.DoModal(), kIdCancel);
  dlg.worker.join();
  EXPECT_EQ(dlg.bar(), 100);
}

}  // namespace
}  // namespace platform
