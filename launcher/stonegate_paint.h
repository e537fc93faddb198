// How the launcher window is drawn: the fixed geometry and the paint into a
// 640 x 410 back buffer. Kept apart from the window so it can be checked
// pixel by pixel without one.
#pragma once
#include <cstdint>

#include "launcher/stonegate_dlg.h"
#include "platform/gdi.h"

namespace kivro::launcher {

constexpr int32_t kWindowWidth = 405;
constexpr int32_t kWindowHeight = 218;
constexpr int32_t kBackBufferWidth = 640;
constexpr int32_t kBackBufferHeight = 410;
constexpr int32_t kBarFullWidth = 390;
constexpr int32_t kBarHeight = 11;

// Positions in the window's client area. The third line, its bar and the
// update, start and exit buttons lie below the 218-pixel window (and below
// the 410-pixel back buffer): they are never seen, as designed.
constexpr platform::Point kFileTextAt{13, 116};
constexpr platform::Point kFileBarAt{8, 132};
constexpr platform::Point kInstallTextAt{13, 153};
constexpr platform::Point kInstallBarAt{8, 169};
constexpr platform::Point kThirdTextAt{13, 561};
constexpr platform::Point kThirdBarAt{8, 557};
constexpr platform::Point kUpdateButtonAt{160, 585};
constexpr platform::Point kStartButtonAt{220, 585};
constexpr platform::Point kExitButtonAt{340, 585};
constexpr platform::Point kCancelButtonAt{320, 185};

// The browser pane (control 1017) is never shown. It sits below the visible
// area, with the window's other unseen elements, so that the clip region
// that keeps the paint off it leaves the whole visible window painted.
constexpr platform::Rect kBrowserPaneRect{8, 230, 398, 420};

// Pixels of a bar showing `value` percent: value x 390 / 100. Values
// outside 0..100 are held to it, so a bar never reads past the strip.
int32_t BarWidth(int32_t value);

// The window's clip region: its rectangle (origin 0, 0) combined by
// exclusive-or with the browser pane's rectangle.
platform::Region LauncherClipRegion(const platform::Rect& window, const platform::Rect& pane);

// What a paint draws besides the dialog's texts and bars.
struct PaintParts {
  const platform::Bitmap* background = nullptr;  // bitmap 140
  const platform::Bitmap* strip = nullptr;       // bitmap 141
  const platform::Font* font = nullptr;
  // Draws the buttons' current cells into the back buffer (start, exit,
  // update, cancel); may be empty.
  void (*draw_buttons)(platform::Dc& back, void* context) = nullptr;
  void* context = nullptr;
};

// Paints the back buffer: the background, the bars above 0 from the
// strip's top-left corner, the three texts in black on transparent
// background, then the buttons.
void PaintBackBuffer(platform::Dc& back, const CStonegateDlg::View& view, const PaintParts& parts);

}  // namespace kivro::launcher
