// Screenshots of X11 windows as PNG files, for tests and their reports.
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <cstdio>
#include <string>
#include <vector>

#include "platform/testing/png_file.h"
#include "platform/testing/top_windows_testing.h"

namespace platform {

namespace {

int IgnoreErrors(Display*, XErrorEvent*) { return 0; }

}  // namespace

bool CaptureTopWindowPng(uint64_t window, const std::string& png_path) {
  Display* d = XOpenDisplay(nullptr);
  if (d == nullptr) return false;
  XErrorHandler previous = XSetErrorHandler(IgnoreErrors);
  XWindowAttributes attributes;
  XImage* image = nullptr;
  if (XGetWindowAttributes(d, static_cast<::Window>(window), &attributes)) {
    image = XGetImage(d, static_cast<::Window>(window), 0, 0, static_cast<unsigned>(attributes.width),
                      static_cast<unsigned>(attributes.height), AllPlanes, ZPixmap);
  }
  std::vector<uint8_t> rgb;
  int width = 0, height = 0;
  if (image != nullptr) {
    width = image->width;
    height = image->height;
    rgb.reserve(static_cast<size_t>(height) * 3 * static_cast<size_t>(width));
    for (int y = 0; y < height; ++y) {
      for (int x = 0; x < width; ++x) {
        unsigned long pixel = XGetPixel(image, x, y);
        rgb.push_back(static_cast<uint8_t>((pixel & image->red_mask) >> 16));
        rgb.push_back(static_cast<uint8_t>((pixel & image->green_mask) >> 8));
        rgb.push_back(static_cast<uint8_t>(pixel & image->blue_mask));
      }
    }
    XDestroyImage(image);
  }
  XSetErrorHandler(previous);
  XCloseDisplay(d);
  if (width <= 0 || height <= 0) return false;

  return testing_support::WriteRgbPng(static_cast<uint32_t>(width), static_cast<uint32_t>(height), rgb,
                                      png_path);
}

}  // namespace platform
