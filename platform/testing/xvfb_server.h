// Test support: a private X server (Xvfb) for tests of real windows. The
// server picks a free display number itself and ends with the test process
// however that ends; DISPLAY names it while it runs.
#pragma once
#include <string>

#include "platform/handle.h"

namespace platform::testing_support {

class XvfbServer {
 public:
  enum Outcome { kStarted, kMissing, kFailed };
  XvfbServer() = default;
  ~XvfbServer() { Stop(); }
  XvfbServer(const XvfbServer&) = delete;
  XvfbServer& operator=(const XvfbServer&) = delete;

  // Starts Xvfb with one screen of width x height x 24 and points DISPLAY at
  // it. kMissing when there is no Xvfb program; kFailed (with `why`) when it
  // did not come up in time.
  Outcome Start(int width, int height, std::string* why);
  // Stops the server and restores DISPLAY.
  void Stop();
  int DisplayNumber() const { return display_; }

 private:
  NativeHandle process_ = kNoHandle;
  int display_ = -1;
  std::string old_display_;
  bool had_display_ = false;
};

}  // namespace platform::testing_support
