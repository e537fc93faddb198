// Screenshots of X11 windows as PNG files, for tests and their reports.
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <zlib.h>

#include <cstdio>
#include <string>
#include <vector>

#include "platform/testing/top_windows_testing.h"

namespace platform {

namespace {

void Put32(std::string* out, uint32_t v) {
  for (int shift = 24; shift >= 0; shift -= 8) out->push_back(static_cast<char>((v >> shift) & 0xFF));
}

void Chunk(std::string* png, const char* type, const std::string& data) {
  Put32(png, static_cast<uint32_t>(data.size()));
  std::string body = std::string(type, 4) + data;
  png->append(body);
  Put32(png, static_cast<uint32_t>(crc32(0, reinterpret_cast<const Bytef*>(body.data()),
                                         static_cast<uInt>(body.size()))));
}

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
  std::string raw;
  int width = 0, height = 0;
  if (image != nullptr) {
    width = image->width;
    height = image->height;
    raw.reserve(static_cast<size_t>(height) * (1 + 3 * static_cast<size_t>(width)));
    for (int y = 0; y < height; ++y) {
      raw.push_back(0);  // no filter
      for (int x = 0; x < width; ++x) {
        unsigned long pixel = XGetPixel(image, x, y);
        raw.push_back(static_cast<char>((pixel & image->red_mask) >> 16));
        raw.push_back(static_cast<char>((pixel & image->green_mask) >> 8));
        raw.push_back(static_cast<char>(pixel & image->blue_mask));
      }
    }
    XDestroyImage(image);
  }
  XSetErrorHandler(previous);
  XCloseDisplay(d);
  if (width <= 0 || height <= 0) return false;

  uLongf packed_size = compressBound(static_cast<uLong>(raw.size()));
  std::vector<Bytef> packed(packed_size);
  if (compress(packed.data(), &packed_size, reinterpret_cast<const Bytef*>(raw.data()),
               static_cast<uLong>(raw.size())) != Z_OK) {
    return false;
  }
  std::string png = "\x89PNG\r\n\x1a\n";
  std::string header;
  Put32(&header, static_cast<uint32_t>(width));
  Put32(&header, static_cast<uint32_t>(height));
  header += std::string("\x08\x02\x00\x00\x00", 5);  // 8-bit RGB
  Chunk(&png, "IHDR", header);
  Chunk(&png, "IDAT", std::string(reinterpret_cast<char*>(packed.data()), packed_size));
  Chunk(&png, "IEND", std::string());
  FILE* f = std::fopen(png_path.c_str(), "wb");
  if (f == nullptr) return false;
  bool ok = std::fwrite(png.data(), 1, png.size(), f) == png.size();
  return std::fclose(f) == 0 && ok;
}

}  // namespace platform
