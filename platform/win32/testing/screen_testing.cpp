#include "platform/win32/testing/screen_testing.h"

#include <windows.h>

#include <algorithm>
#include <unordered_set>

#include "platform/testing/png_file.h"
#include "platform/win32/wide.h"

namespace platform::screen_testing {

namespace {

// A POSIX path of the host ("/work/...") as Wine shows it (Z: is "/");
// Windows paths pass unchanged.
std::wstring FileName(const std::string& path) {
  std::string name = path;
  if (!name.empty() && name[0] == '/') name = "Z:" + name;
  std::replace(name.begin(), name.end(), '/', '\\');
  return Utf8ToWide(name);
}

// The pixels of a bitmap as a top-down 32-bit picture.
Picture PictureOf(HDC dc, HBITMAP bitmap, int width, int height) {
  Picture out(width, height);
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = -height;  // top row first
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  std::vector<uint32_t> bits(size_t(width) * height);
  if (GetDIBits(dc, bitmap, 0, static_cast<UINT>(height), bits.data(), &info, DIB_RGB_COLORS) != height) {
    return Picture();
  }
  // 32-bit DIB pixels are blue, green, red, unused: 0x00RRGGBB as a number.
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) out.Set(x, y, bits[size_t(y) * width + x]);
  }
  return out;
}

HWND VisibleTopWindow(const std::string& title) {
  HWND window = FindWindowW(nullptr, Utf8ToWide(title).c_str());
  return window != nullptr && IsWindowVisible(window) ? window : nullptr;
}

ScreenRect RectOf(HWND window) {
  RECT r{};
  GetWindowRect(window, &r);
  return {r.left, r.top, r.right, r.bottom};
}

bool ClientAreaOf(HWND window, ScreenRect* rect) {
  RECT client{};
  POINT origin{0, 0};
  if (!GetClientRect(window, &client) || !ClientToScreen(window, &origin)) return false;
  *rect = {origin.x, origin.y, origin.x + client.right, origin.y + client.bottom};
  return true;
}

bool SendMouse(DWORD flags, int x, int y) {
  INPUT input{};
  input.type = INPUT_MOUSE;
  input.mi.dwFlags = flags;
  if (flags & MOUSEEVENTF_ABSOLUTE) {
    // Absolute positions are given on a 0..65535 scale of the screen.
    int width = GetSystemMetrics(SM_CXSCREEN), height = GetSystemMetrics(SM_CYSCREEN);
    if (width < 2 || height < 2) return false;
    input.mi.dx = MulDiv(x, 65535, width - 1);
    input.mi.dy = MulDiv(y, 65535, height - 1);
  }
  return SendInput(1, &input, sizeof input) == 1;
}

}  // namespace

Picture Picture::Crop(const ScreenRect& r) const {
  int left = std::max(r.left, 0), top = std::max(r.top, 0);
  int right = std::min(r.right, width_), bottom = std::min(r.bottom, height_);
  if (right <= left || bottom <= top) return Picture();
  Picture out(right - left, bottom - top);
  for (int y = top; y < bottom; ++y) {
    for (int x = left; x < right; ++x) out.Set(x - left, y - top, At(x, y));
  }
  return out;
}

size_t Picture::Colours() const {
  return std::unordered_set<uint32_t>(pixels_.begin(), pixels_.end()).size();
}

Picture CaptureScreen() {
  int width = GetSystemMetrics(SM_CXSCREEN), height = GetSystemMetrics(SM_CYSCREEN);
  if (width <= 0 || height <= 0) return Picture();
  HDC screen = GetDC(nullptr);
  if (screen == nullptr) return Picture();
  Picture out;
  HDC memory = CreateCompatibleDC(screen);
  HBITMAP bitmap = CreateCompatibleBitmap(screen, width, height);
  if (memory != nullptr && bitmap != nullptr) {
    HGDIOBJ old = SelectObject(memory, bitmap);
    bool copied = BitBlt(memory, 0, 0, width, height, screen, 0, 0, SRCCOPY | CAPTUREBLT) != 0;
    SelectObject(memory, old);
    if (copied) out = PictureOf(memory, bitmap, width, height);
  }
  if (bitmap != nullptr) DeleteObject(bitmap);
  if (memory != nullptr) DeleteDC(memory);
  ReleaseDC(nullptr, screen);
  return out;
}

Picture LoadBmpFile(const std::string& path) {
  HBITMAP bitmap = static_cast<HBITMAP>(
      LoadImageW(nullptr, FileName(path).c_str(), IMAGE_BITMAP, 0, 0, LR_LOADFROMFILE | LR_CREATEDIBSECTION));
  if (bitmap == nullptr) return Picture();
  BITMAP info{};
  Picture out;
  if (GetObjectW(bitmap, sizeof info, &info) == sizeof info) {
    HDC dc = CreateCompatibleDC(nullptr);
    if (dc != nullptr) {
      out = PictureOf(dc, bitmap, info.bmWidth, info.bmHeight);
      DeleteDC(dc);
    }
  }
  DeleteObject(bitmap);
  return out;
}

bool SavePng(const Picture& picture, const std::string& path) {
  if (picture.Empty()) return false;
  std::vector<uint8_t> rgb;
  rgb.reserve(size_t(picture.Width()) * picture.Height() * 3);
  for (int y = 0; y < picture.Height(); ++y) {
    for (int x = 0; x < picture.Width(); ++x) {
      uint32_t p = picture.At(x, y);
      rgb.push_back(static_cast<uint8_t>(RedOf(p)));
      rgb.push_back(static_cast<uint8_t>(GreenOf(p)));
      rgb.push_back(static_cast<uint8_t>(BlueOf(p)));
    }
  }
  return testing_support::WriteRgbPng(static_cast<uint32_t>(picture.Width()),
                                      static_cast<uint32_t>(picture.Height()), rgb,
                                      WideToUtf8(FileName(path)));
}

bool FindPicture(const Picture& screen, const Picture& image, const std::vector<int>& rows, ScreenPoint* at) {
  if (screen.Empty() || image.Empty() || rows.empty()) return false;
  for (int y = 0; y + image.Height() <= screen.Height(); ++y) {
    for (int x = 0; x + image.Width() <= screen.Width(); ++x) {
      bool all = true;
      for (size_t r = 0; all && r < rows.size(); ++r) {
        for (int i = 0; all && i < image.Width(); ++i) {
          all = screen.At(x + i, y + rows[r]) == image.At(i, rows[r]);
        }
      }
      if (all) {
        *at = {x, y};
        return true;
      }
    }
  }
  return false;
}

bool MovePointer(int x, int y) {
  // SetCursorPos places the pointer itself; the input event makes the
  // windows under it see the move as they would a mouse's.
  bool placed = SetCursorPos(x, y) != 0;
  return SendMouse(MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE, x, y) && placed;
}

bool ClickAt(int x, int y) {
  if (!MovePointer(x, y)) return false;
  Sleep(100);
  if (!SendMouse(MOUSEEVENTF_LEFTDOWN, 0, 0)) return false;
  Sleep(50);
  return SendMouse(MOUSEEVENTF_LEFTUP, 0, 0);
}

bool FindTopWindow(const std::string& title, ScreenRect* rect) {
  HWND window = VisibleTopWindow(title);
  if (window == nullptr) return false;
  *rect = RectOf(window);
  return true;
}

bool FindClientArea(const std::string& title, ScreenRect* rect) {
  HWND window = VisibleTopWindow(title);
  return window != nullptr && ClientAreaOf(window, rect);
}

std::vector<ScreenRect> FindClientAreas(const std::string& title) {
  struct Search {
    std::wstring title;
    std::vector<ScreenRect> found;
  } search{Utf8ToWide(title), {}};
  EnumWindows(
      [](HWND window, LPARAM context) -> BOOL {
        auto* s = reinterpret_cast<Search*>(context);
        wchar_t text[256] = {};
        GetWindowTextW(window, text, 256);
        ScreenRect r;
        if (IsWindowVisible(window) && s->title == text && ClientAreaOf(window, &r)) s->found.push_back(r);
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&search));
  return search.found;
}

bool FindControl(const std::string& title, int id, ScreenRect* rect) {
  HWND window = VisibleTopWindow(title);
  HWND control = window != nullptr ? GetDlgItem(window, id) : nullptr;
  if (control == nullptr) return false;
  *rect = RectOf(control);
  return true;
}

bool TopWindowExists(const std::string& title) {
  return FindWindowW(nullptr, Utf8ToWide(title).c_str()) != nullptr;
}

bool FontHasGlyphs(const std::string& face, const std::string& text, std::string* real_face) {
  HDC dc = CreateCompatibleDC(nullptr);
  if (dc == nullptr) return false;
  HFONT font = CreateFontW(12, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                           CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH, Utf8ToWide(face).c_str());
  bool all = false;
  if (font != nullptr) {
    HGDIOBJ old = SelectObject(dc, font);
    wchar_t name[LF_FACESIZE] = {};
    GetTextFaceW(dc, LF_FACESIZE, name);
    *real_face = WideToUtf8(name);
    std::wstring wide = Utf8ToWide(text);
    std::vector<WORD> glyphs(wide.size());
    if (!wide.empty() && GetGlyphIndicesW(dc, wide.c_str(), static_cast<int>(wide.size()), glyphs.data(),
                                          GGI_MARK_NONEXISTING_GLYPHS) == wide.size()) {
      all = std::none_of(glyphs.begin(), glyphs.end(), [](WORD g) { return g == 0xFFFF; });
    }
    SelectObject(dc, old);
    DeleteObject(font);
  }
  DeleteDC(dc);
  return all;
}

}  // namespace platform::screen_testing
