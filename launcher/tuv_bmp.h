// CTuvBmp: holds one skin bitmap of four equal cells side by side (0 normal,
// 1 mouse over, 2 pressed, 3 disabled) and draws one cell with a key colour
// left transparent. It is only a holder of the skin, never a window.
//
// Thread safety: used by the UI thread only (the button that owns it).
#pragma once
#include <cstdint>

#include "platform/gdi.h"

namespace kivro {

class CTuvBmp {
 public:
  // Loads bitmap resource `id` and derives the cell size: width / 4 (the
  // remainder columns of a width not divisible by 4 are never drawn) by the
  // full height. On failure the previous skin stays and false is returned.
  bool LoadCells(int32_t id);

  // Draws `cell` (0-3) at (x, y) of `dc`; pixels of `key` in the cell show
  // dc's own pixels. Cells outside 0-3 or a missing skin draw nothing.
  void DrawCell(platform::Dc& dc, int32_t cell, int32_t x, int32_t y, platform::ColorRef key) const;

  const platform::BitmapInfo& Info() const { return info_; }
  int32_t FullWidth() const { return fullWidth_; }
  int32_t CellWidth() const { return cellWidth_; }
  int32_t CellHeight() const { return cellHeight_; }

 private:
  platform::Bitmap bitmap_;
  platform::BitmapInfo info_;
  int32_t fullWidth_ = 0;
  int32_t cellWidth_ = 0;
  int32_t cellHeight_ = 0;
  int32_t alternateSource_ = 0;  // always 0: cells come from the skin bitmap
};

}  // namespace kivro
