// Test support for real windows: a private X server (Xvfb) started on a free
// display, pointer moves that the X server turns into real motion events,
// screenshots read back from the server, and PNG files for people to look at.
#pragma once
#include <string>

#include "platform/gdi.h"
#include "platform/testing/xvfb_server.h"

namespace platform::gui_testing {

class XvfbSession {
 public:
  enum Outcome { kStarted, kMissing, kFailed };
  XvfbSession() = default;
  ~XvfbSession();
  XvfbSession(const XvfbSession&) = delete;
  XvfbSession& operator=(const XvfbSession&) = delete;

  // Starts Xvfb with one screen of width x height x 24 on a display number
  // the server picks free, and points DISPLAY at it. kMissing when there is
  // no Xvfb program; kFailed (with `why`) when it did not come up in time.
  Outcome Start(int width, int height, std::string* why);
  // Stops the server and restores DISPLAY.
  void Stop();
  int DisplayNumber() const { return display_; }

  // Moves the pointer to screen position (x, y).
  bool MovePointer(int x, int y);
  // The screen's pixels in `r` (screen coordinates); null on failure.
  Bitmap Screenshot(const Rect& r);

 private:
  bool Connect();
  testing_support::XvfbServer server_;
  int display_ = -1;
  void* x_display_ = nullptr;  // Display*
};

// Writes `bitmap` as an RGB PNG file (zlib-compressed). False on failure.
bool WritePng(const Bitmap& bitmap, const std::string& path);

}  // namespace platform::gui_testing
