// A private X server with a connection of its own: pointer moves and
// screenshots of what the server shows.
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <string>
#include <vector>

#include "platform/testing/png_file.h"
#include "platform/testing/window_xvfb.h"

namespace platform::gui_testing {

XvfbSession::~XvfbSession() { Stop(); }

XvfbSession::Outcome XvfbSession::Start(int width, int height, std::string* why) {
  switch (server_.Start(width, height, why)) {
    case testing_support::XvfbServer::kMissing:
      return kMissing;
    case testing_support::XvfbServer::kFailed:
      return kFailed;
    case testing_support::XvfbServer::kStarted:
      break;
  }
  display_ = server_.DisplayNumber();
  if (!Connect()) {
    *why = "cannot connect to the new display";
    Stop();
    return kFailed;
  }
  return kStarted;
}

bool XvfbSession::Connect() {
  std::string name = ":" + std::to_string(display_);
  x_display_ = XOpenDisplay(name.c_str());
  return x_display_ != nullptr;
}

void XvfbSession::Stop() {
  if (x_display_) {
    XCloseDisplay(static_cast<Display*>(x_display_));
    x_display_ = nullptr;
  }
  server_.Stop();
  display_ = -1;
}

bool XvfbSession::MovePointer(int x, int y) {
  auto* d = static_cast<Display*>(x_display_);
  if (!d) return false;
  XWarpPointer(d, None, DefaultRootWindow(d), 0, 0, 0, 0, x, y);
  XSync(d, False);
  return true;
}

Bitmap XvfbSession::Screenshot(const Rect& r) {
  auto* d = static_cast<Display*>(x_display_);
  if (!d || r.IsEmpty()) return {};
  XImage* image =
      XGetImage(d, DefaultRootWindow(d), r.left, r.top, r.Width(), r.Height(), AllPlanes, ZPixmap);
  if (!image) return {};
  Bitmap out = Bitmap::Colour(r.Width(), r.Height());
  for (int y = 0; y < r.Height(); ++y)
    for (int x = 0; x < r.Width(); ++x) {
      unsigned long p = XGetPixel(image, x, y);
      out.SetPixel(x, y, Rgb((p >> 16) & 0xFF, (p >> 8) & 0xFF, p & 0xFF));
    }
  XDestroyImage(image);
  return out;
}

bool WritePng(const Bitmap& bitmap, const std::string& path) {
  if (bitmap.IsNull()) return false;
  const uint32_t w = bitmap.Width(), h = bitmap.Height();
  std::vector<uint8_t> rgb;
  rgb.reserve(size_t(w) * h * 3);
  for (uint32_t y = 0; y < h; ++y) {
    for (uint32_t x = 0; x < w; ++x) {
      ColorRef c = bitmap.GetPixel(x, y);
      rgb.push_back(RedOf(c));
      rgb.push_back(GreenOf(c));
      rgb.push_back(BlueOf(c));
    }
  }
  return testing_support::WriteRgbPng(w, h, rgb, path);
}

}  // namespace platform::gui_testing
