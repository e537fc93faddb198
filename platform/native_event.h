// An event as the backend's window system delivers it (an XEvent under X11,
// a MSG on Windows). Callers only pass it from a hook to the function that
// understands it; only backends look inside.
#pragma once

namespace platform {

struct NativeEvent;

}  // namespace platform
