// Test access to the window toolkit: the pixels of a window's last paint,
// synthetic input and running the message loop for a while. Input goes
// through the same path as real input, on either backend.
#pragma once
#include <cstdint>
#include <functional>

#include "platform/gdi.h"
#include "platform/window.h"

namespace platform::gui_testing {

// The window's area of its top-level surface as last painted.
Bitmap CaptureWindow(const Window& window);

// Mouse input at a point in `window`'s client coordinates; it is queued and
// handled by the next turn of the loop.
void InjectMouseMove(const Window& window, Point p);
void InjectMouseButton(const Window& window, Point p, bool down);
void InjectMouseLeaveTop(const Window& window);  // the mouse left the top-level
void InjectKey(const Window& window, int32_t key, bool alt = false);
void InjectRightButtonUp(const Window& window, Point p);

// The innermost modal window (a dialog run by DoModal, a message box or a
// system menu pop-up), or null.
Window* ActiveModal();

// Runs the UI loop on the calling (UI) thread for `milliseconds`, or until
// `done` answers true (then true is returned).
void PumpMessages(uint32_t milliseconds);
bool PumpUntil(const std::function<bool()>& done, uint32_t timeout_ms);

}  // namespace platform::gui_testing
