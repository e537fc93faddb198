// Test access: captures of painted pixels, synthetic input, loop pumping.
#include "platform/common/gui/gui_core.h"
#include "platform/testing/window_testing.h"

namespace platform::gui_testing {

namespace {

// The event position in the top-level window's client coordinates.
InputEvent At(const Window& window, Point p, InputEvent::Kind kind) {
  InputEvent e;
  e.kind = kind;
  GuiCore::Do(window, [&] {
    Window* top = GuiCore::TopOf(window);
    Point o = GuiCore::SurfaceOrigin(window);
    e.top = top->Handle();
    e.p = {p.x + o.x, p.y + o.y};
  });
  return e;
}

}  // namespace

Bitmap CaptureWindow(const Window& window) {
  Bitmap out;
  GuiCore::Do(window, [&] {
    Rect area = GuiCore::VisibleArea(window);
    Point o = GuiCore::SurfaceOrigin(window);
    Rect client = window.GetClientRect();
    out = Bitmap::Colour(client.Width(), client.Height());
    WindowDc from(window);
    MemoryDc to;
    to.SelectBitmap(&out);
    to.BitBlt(area.left - o.x, area.top - o.y, area.Width(), area.Height(), &from, area.left - o.x,
              area.top - o.y, kSrcCopy);
    to.SelectBitmap(nullptr);
  });
  return out;
}

void InjectMouseMove(const Window& window, Point p) {
  GuiCore::Inject(At(window, p, InputEvent::kMouseMove));
}

void InjectMouseButton(const Window& window, Point p, bool down) {
  GuiCore::Inject(At(window, p, down ? InputEvent::kButtonDown : InputEvent::kButtonUp));
}

void InjectMouseLeaveTop(const Window& window) {
  GuiCore::Inject(At(window, {}, InputEvent::kMouseLeave));
}

void InjectKey(const Window& window, int32_t key, bool alt) {
  InputEvent e = At(window, {}, InputEvent::kKey);
  e.key = key;
  e.alt = alt;
  GuiCore::Inject(e);
}

void InjectRightButtonUp(const Window& window, Point p) {
  GuiCore::Inject(At(window, p, InputEvent::kRightButtonUp));
}

Window* ActiveModal() { return GuiCore::InnermostModal(); }

void PumpMessages(uint32_t milliseconds) {
  InitGui();
  uint64_t end = GuiCore::NowMs() + milliseconds;
  do {
    uint64_t now = GuiCore::NowMs();
    GuiCore::Turn(static_cast<uint32_t>(end > now ? std::min<uint64_t>(end - now, 50) : 0));
  } while (GuiCore::NowMs() < end);
}

bool PumpUntil(const std::function<bool()>& done, uint32_t timeout_ms) {
  InitGui();
  uint64_t end = GuiCore::NowMs() + timeout_ms;
  while (!done()) {
    if (GuiCore::NowMs() >= end) return false;
    GuiCore::Turn(10);
  }
  return true;
}

}  // namespace platform::gui_testing
