// What a window backend provides to the toolkit's core: native top-level
// windows, presenting surfaces, input and waking the UI loop.
#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/gdi.h"
#include "platform/window.h"

namespace platform {

struct InputEvent {
  enum Kind {
    kMouseMove,
    kButtonDown,
    kButtonUp,
    kRightButtonUp,
    kMouseLeave,
    kKey,
    kClose,
    kExposed,
    kMinimized,
    kRestored,
    kMoved
  };
  Kind kind = kMouseMove;
  WindowHandle top = 0;  // the top-level window
  Point p;               // client coordinates of the top-level window
  int32_t key = 0;
  bool alt = false;
};

class Backend {
 public:
  virtual ~Backend() = default;
  virtual const char* Name() const = 0;
  virtual bool CreateNative(WindowHandle top, const Rect& screen_rect, uint32_t style, bool owned,
                            const std::string& caption_utf8) = 0;
  // After CreateNative of an owned window: the window system's owner (kept
  // above it, no taskbar button of its own). Backends without owners ignore it.
  virtual void SetOwner(WindowHandle /*top*/, WindowHandle /*owner*/) {}
  virtual void DestroyNative(WindowHandle top) = 0;
  virtual void ShowNative(WindowHandle top, ShowCommand command) = 0;
  virtual void MoveNative(WindowHandle top, const Rect& screen_rect) = 0;
  virtual void SetTitle(WindowHandle top, const std::string& utf8) = 0;
  virtual void SetIcon(WindowHandle top, const Icon& icon) = 0;
  virtual void Present(WindowHandle top, const Bitmap& surface) = 0;
  virtual void SetCursor(Cursor cursor) = 0;
  virtual uint64_t NativeId(WindowHandle top) = 0;
  virtual Size ScreenSize() = 0;
  // Moves native input into `out`, waiting at most `timeout_ms` (may be 0)
  // when there is none. Returns early when Wake is called.
  virtual void WaitInput(int32_t timeout_ms, std::vector<InputEvent>* out) = 0;
  // Any thread: makes a waiting WaitInput return.
  virtual void Wake() = 0;
};

// The window system's presenter (SDL on POSIX, win32 on Windows) for
// `choice` (InitGui's argument or KIVRO_GUI; "" picks the default): null when
// the choice names another backend or no window can be shown here.
std::unique_ptr<Backend> CreateScreenBackend(const std::string& choice);
std::unique_ptr<Backend> CreateOffscreenBackend();

// For the presenters: the hook for native events (see window.h).
NativeEventHook CurrentNativeEventHook();

}  // namespace platform
