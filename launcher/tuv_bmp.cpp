#include "launcher/tuv_bmp.h"

#include "platform/resource.h"

namespace kivro {

using platform::Bitmap;
using platform::MemoryDc;
using platform::Rgb;

bool CTuvBmp::LoadCells(int32_t id) {
  Bitmap loaded = platform::LoadBitmapResource(id);
  if (loaded.IsNull()) return false;
  bitmap_ = std::move(loaded);
  info_ = bitmap_.Describe();
  fullWidth_ = info_.width;
  cellWidth_ = info_.width / 4;
  cellHeight_ = info_.height;
  alternateSource_ = 0;
  return true;
}

void CTuvBmp::DrawCell(platform::Dc& dc, int32_t cell, int32_t x, int32_t y,
                       platform::ColorRef key) const {
  if (bitmap_.IsNull() || cell < 0 || cell > 3 || cellWidth_ <= 0) return;
  const int32_t w = cellWidth_, h = cellHeight_;
  MemoryDc skin_dc;
  skin_dc.SelectBitmap(const_cast<Bitmap*>(&bitmap_));

  // 1. The cell into a colour bitmap C like the target.
  Bitmap c = platform::CreateCompatibleBitmap(dc, w, h);
  MemoryDc c_dc;
  c_dc.SelectBitmap(&c);
  c_dc.BitBlt(0, 0, w, h, &skin_dc, cell * w, 0, platform::kSrcCopy);

  // 2. Mask M: key pixels 1, all others 0 (colour to monochrome goes by the
  // source's background colour).
  Bitmap m = Bitmap::Monochrome(w, h);
  MemoryDc m_dc;
  m_dc.SelectBitmap(&m);
  c_dc.SetBkColor(key);
  m_dc.BitBlt(0, 0, w, h, &c_dc, 0, 0, platform::kSrcCopy);

  // 3. Key pixels of C to black: the mask's 1 bits become C's background
  // (black), its 0 bits C's text colour (white), then AND.
  c_dc.SetBkColor(Rgb(0, 0, 0));
  c_dc.SetTextColor(Rgb(255, 255, 255));
  c_dc.BitBlt(0, 0, w, h, &m_dc, 0, 0, platform::kSrcAnd);

  // 4. B = the target's pixels kept only at key positions (a fresh
  // context's colours: 1 bits white, 0 bits black), then OR the cell in.
  Bitmap b = platform::CreateCompatibleBitmap(dc, w, h);
  MemoryDc b_dc;
  b_dc.SelectBitmap(&b);
  b_dc.BitBlt(0, 0, w, h, &dc, x, y, platform::kSrcCopy);
  b_dc.BitBlt(0, 0, w, h, &m_dc, 0, 0, platform::kSrcAnd);
  b_dc.BitBlt(0, 0, w, h, &c_dc, 0, 0, platform::kSrcPaint);

  // 5. The result to the target.
  dc.BitBlt(x, y, w, h, &b_dc, 0, 0, platform::kSrcCopy);

  // The temporary contexts and bitmaps go with this scope; deselect first.
  skin_dc.SelectBitmap(nullptr);
  c_dc.SelectBitmap(nullptr);
  m_dc.SelectBitmap(nullptr);
  b_dc.SelectBitmap(nullptr);
}

}  // namespace kivro
