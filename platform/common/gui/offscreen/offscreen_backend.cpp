// The off-screen backend: windows exist only as surfaces in memory, there is
// no native input, and waiting is a plain timed wait that Wake cuts short.
#include <chrono>
#include <condition_variable>
#include <mutex>

#include "platform/common/gui/backend.h"

namespace platform {

namespace {

class OffscreenBackend : public Backend {
 public:
  const char* Name() const override { return "offscreen"; }
  bool CreateNative(WindowHandle, const Rect&, uint32_t, bool, const std::string&) override {
    return true;
  }
  void DestroyNative(WindowHandle) override {}
  void ShowNative(WindowHandle, ShowCommand) override {}
  void MoveNative(WindowHandle, const Rect&) override {}
  void SetTitle(WindowHandle, const std::string&) override {}
  void SetIcon(WindowHandle, const Icon&) override {}
  void Present(WindowHandle, const Bitmap&) override {}
  void SetCursor(Cursor) override {}
  uint64_t NativeId(WindowHandle) override { return 0; }
  Size ScreenSize() override { return {1024, 768}; }

  void WaitInput(int32_t timeout_ms, std::vector<InputEvent>*) override {
    std::unique_lock<std::mutex> lock(lock_);
    if (timeout_ms > 0 && !woken_)
      wake_.wait_for(lock, std::chrono::milliseconds(timeout_ms), [&] { return woken_; });
    woken_ = false;
  }

  void Wake() override {
    {
      std::lock_guard<std::mutex> guard(lock_);
      woken_ = true;
    }
    wake_.notify_all();
  }

 private:
  std::mutex lock_;
  std::condition_variable wake_;
  bool woken_ = false;
};

}  // namespace

std::unique_ptr<Backend> CreateOffscreenBackend() { return std::make_unique<OffscreenBackend>(); }

}  // namespace platform
