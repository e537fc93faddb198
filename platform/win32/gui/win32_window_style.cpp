#include "platform/win32/gui/win32_window_style.h"

#include "platform/window.h"

namespace platform {

NativeStyle NativeStyleOf(uint32_t s, bool owned) {
  NativeStyle n;
  // Every toolkit window is a pop-up: its size is its client area plus
  // what the frame adds, never the system's default overlapped layout.
  n.style = WS_POPUP | WS_CLIPSIBLINGS;
  if (s & kStyleCaption) n.style |= WS_CAPTION;
  if (s & kStyleBorder) n.style |= WS_BORDER;
  // The close box, and the system's menu of the taskbar button (its Close
  // comes back as WM_CLOSE, which the toolkit handles).
  if (s & kStyleSysMenu) n.style |= WS_SYSMENU;
  if (s & kStyleModalFrame) n.ex_style |= WS_EX_DLGMODALFRAME;
  if (s & kStyleAppWindow) n.ex_style |= WS_EX_APPWINDOW;
  // The toolkit's pop-up menus: owned, bordered, without a title bar.
  n.menu = owned && !(s & kStyleCaption) && (s & kStyleBorder);
  if (n.menu) n.ex_style |= WS_EX_TOOLWINDOW | WS_EX_TOPMOST | WS_EX_NOACTIVATE;
  return n;
}

}  // namespace platform
