// Test support for Windows programs on a real display, as a player sees and
// uses them: the screen read back with GDI (under Wine's X11 driver that is
// the X server's screen, see scripts/wine-run.sh --display), the pointer
// moved and clicked with the system's input calls, top-level windows and
// their controls found by title and id, and pictures written as PNG files
// for people to look at.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace platform::screen_testing {

struct ScreenPoint {
  int x = 0;
  int y = 0;
};

struct ScreenRect {
  int left = 0, top = 0, right = 0, bottom = 0;
  int Width() const { return right - left; }
  int Height() const { return bottom - top; }
};

// A picture: 0x00RRGGBB pixels, top row first.
class Picture {
 public:
  Picture() = default;
  Picture(int width, int height) : width_(width), height_(height), pixels_(size_t(width) * height) {}
  bool Empty() const { return pixels_.empty(); }
  int Width() const { return width_; }
  int Height() const { return height_; }
  // 0xFFFFFFFF outside the picture, which no pixel equals.
  uint32_t At(int x, int y) const {
    return x < 0 || y < 0 || x >= width_ || y >= height_ ? 0xFFFFFFFFu : pixels_[size_t(y) * width_ + x];
  }
  void Set(int x, int y, uint32_t rgb) { pixels_[size_t(y) * width_ + x] = rgb & 0xFFFFFF; }
  // The part of the picture inside `r` (clipped to it).
  Picture Crop(const ScreenRect& r) const;
  // How many different colours the picture holds.
  size_t Colours() const;

 private:
  int width_ = 0;
  int height_ = 0;
  std::vector<uint32_t> pixels_;
};

inline int RedOf(uint32_t rgb) { return (rgb >> 16) & 0xFF; }
inline int GreenOf(uint32_t rgb) { return (rgb >> 8) & 0xFF; }
inline int BlueOf(uint32_t rgb) { return rgb & 0xFF; }

// The whole primary screen as it is shown now; empty on failure.
Picture CaptureScreen();
// A .bmp file (any depth GDI reads), by Windows or POSIX path; empty on failure.
Picture LoadBmpFile(const std::string& path);
// Writes `picture` as an RGB PNG file; false on failure.
bool SavePng(const Picture& picture, const std::string& path);

// Where `image` lies on `screen`: every pixel of the rows `rows` of `image`
// must match. The first place from the top left; false when there is none.
bool FindPicture(const Picture& screen, const Picture& image, const std::vector<int>& rows, ScreenPoint* at);

// The pointer to screen position (x, y), as a mouse moves it.
bool MovePointer(int x, int y);
// A left click at screen position (x, y): the pointer goes there, then the
// button goes down and up.
bool ClickAt(int x, int y);

// The screen rectangle of the visible top-level window with this title
// (UTF-8); false when there is none.
bool FindTopWindow(const std::string& title, ScreenRect* rect);
// The screen rectangle of that window's client area (inside its frame).
bool FindClientArea(const std::string& title, ScreenRect* rect);
// The client areas of every visible top-level window with this title (a
// program's message box may carry its main window's title).
std::vector<ScreenRect> FindClientAreas(const std::string& title);
// The screen rectangle of the child control `id` of that window (a control
// that is a window of its own).
bool FindControl(const std::string& title, int id, ScreenRect* rect);
// Whether a top-level window with this title exists (shown or not).
bool TopWindowExists(const std::string& title);

// Whether the font that a program gets for face `face` (UTF-8) has a glyph
// for every character of `text` (UTF-8), and the face it really got.
bool FontHasGlyphs(const std::string& face, const std::string& text, std::string* real_face);

}  // namespace platform::screen_testing
