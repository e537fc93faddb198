// The toolkit's core, shared by the window, control and dialog code: the
// window table, the UI loop, calls marshalled from other threads, input
// routing, timers, hover tracking and painting. Everything but Call, Post
// and Inject runs on the UI thread.
#pragma once
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <thread>
#include <vector>

#include "platform/common/gui/backend.h"
#include "platform/window.h"

namespace platform {

struct Window::TopLevelState {
  Bitmap surface;
  bool owned = false;
  // A pop-up menu: a click on any other window dismisses it.
  std::function<void()> dismiss;
};

struct GuiCore {
  // ---- any thread ----
  static bool Started();
  // Runs fn on the UI thread while the window `handle` lives (handle 0:
  // while any window lives) and waits for it. False when dropped.
  static bool Call(WindowHandle handle, const std::function<void()>& fn);
  static void Inject(const InputEvent& event);

  // ---- UI thread ----
  static Backend& TheBackend();
  static uint64_t NowMs();
  static Window* Find(WindowHandle handle);
  static WindowHandle Register(Window& w);
  static void Unregister(Window& w);
  static void RunLoop(const std::function<bool()>& keep_going);
  static void Turn(uint32_t max_wait_ms);

  // Geometry on the top-level surface.
  static Window* TopOf(const Window& w);
  static Point SurfaceOrigin(const Window& w);  // window's top-left on its surface
  static Rect VisibleArea(const Window& w);     // surface pixels it may paint
  static Window* HitTest(Window& top, Point p);

  static void MarkDirty(Window& w, const Rect& client_rect, bool erase);
  static void PaintWindowTree(Window& w);
  static void PaintAll();
  static void Present(Window& top);

  static void DispatchInput(const InputEvent& e);
  static void FireTimers();
  static void FireHover();
  static uint64_t NextDeadline();
  static void ForgetWindow(Window& w);  // capture, hover, modal references

  static void PushModal(Window* w);
  static void PopModal(Window* w);
  static bool InputAllowed(Window& top);
  static Window* InnermostModal();

  static void ShowSystemMenu(Window& top, Point screen_point);
  static void DestroyWindow(Window& w);
  static void NotifyCommand(Window& parent, int32_t id) { parent.OnCommand(id); }
  static void SetCaptureTo(Window* w);
  static void LoseMouse(Window& w);  // a disabled or hidden window
  static bool Do(const Window& w, const std::function<void()>& fn) {
    WindowHandle h = w.Handle();
    return h != 0 && Call(h, fn);
  }
};

}  // namespace platform
