// Bitmaps, rectangles and the BMP / ICO decoders for built-in resources.
#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstring>

#include "platform/gdi.h"

namespace platform {

namespace {

constexpr uint32_t kWhitePixel = 0x00FFFFFF;

// Guards against sizes that would not fit an allocation comfortably; skins
// and icons are far below this.
constexpr int32_t kMaxSide = 16384;

uint32_t PixelOf(ColorRef c) {
  return (static_cast<uint32_t>(RedOf(c)) << 16) | (static_cast<uint32_t>(GreenOf(c)) << 8) |
         BlueOf(c);
}
ColorRef ColorOf(uint32_t p) { return Rgb((p >> 16) & 0xFF, (p >> 8) & 0xFF, p & 0xFF); }

uint32_t Le32(const uint8_t* p) {
  return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<uint32_t>(p[3]) << 24);
}
uint16_t Le16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }

// Decodes the DIB (header + optional palette + pixels) at `dib`. With
// `icon_mask` the height in the header counts the colour and the AND mask
// (as .ico images store them) and the result keeps alpha in the top byte.
bool DecodeDib(const uint8_t* dib, size_t size, const uint8_t* bits, size_t bits_size,
               bool icon_mask, int32_t* out_w, int32_t* out_h, std::vector<uint32_t>* out) {
  if (size < 40) return false;
  uint32_t header = Le32(dib);
  if (header < 40 || header > size) return false;
  int32_t w = static_cast<int32_t>(Le32(dib + 4));
  int32_t h = static_cast<int32_t>(Le32(dib + 8));
  uint16_t bpp = Le16(dib + 14);
  uint32_t compression = Le32(dib + 16);
  uint32_t colours = Le32(dib + 32);
  if (compression != 0 && !(compression == 3 && (bpp == 32 || bpp == 16))) return false;
  if (bpp != 1 && bpp != 4 && bpp != 8 && bpp != 24 && bpp != 32) return false;
  if (h == INT32_MIN) return false;  // cannot be negated
  bool top_down = h < 0;
  if (top_down) h = -h;
  if (icon_mask) h /= 2;
  if (w <= 0 || h <= 0 || w > kMaxSide || h > kMaxSide) return false;
  std::vector<uint32_t> palette;
  if (bpp <= 8) {
    uint32_t n = colours ? colours : (1u << bpp);
    if (n > 256) return false;
    size_t at = header;
    if (at + n * 4 > size) return false;
    for (uint32_t i = 0; i < n; ++i) {
      const uint8_t* q = dib + at + i * 4;
      palette.push_back((static_cast<uint32_t>(q[2]) << 16) | (q[1] << 8) | q[0]);
    }
  }
  size_t stride = ((static_cast<size_t>(w) * bpp + 31) / 32) * 4;
  size_t mask_stride = ((static_cast<size_t>(w) + 31) / 32) * 4;
  if (bits_size < stride * h) return false;
  bool have_mask = icon_mask && bits_size >= stride * h + mask_stride * h;
  out->assign(static_cast<size_t>(w) * h, 0);
  bool any_alpha = false;
  for (int32_t y = 0; y < h; ++y) {
    int32_t row = top_down ? y : h - 1 - y;
    const uint8_t* src = bits + stride * row;
    uint32_t* dst = out->data() + static_cast<size_t>(y) * w;
    for (int32_t x = 0; x < w; ++x) {
      uint32_t p = 0;
      switch (bpp) {
        case 32:
          p = Le32(src + x * 4);
          if (p >> 24) any_alpha = true;
          break;
        case 24:
          p = (static_cast<uint32_t>(src[x * 3 + 2]) << 16) | (src[x * 3 + 1] << 8) | src[x * 3];
          break;
        default: {
          size_t bit = static_cast<size_t>(x) * bpp;
          uint32_t index = (src[bit / 8] >> (8 - bpp - bit % 8)) & ((1u << bpp) - 1);
          p = index < palette.size() ? palette[index] : 0;
        }
      }
      dst[x] = p;
    }
  }
  if (icon_mask) {
    // 32-bit images carry alpha; older ones use the AND mask (1 = transparent).
    for (int32_t y = 0; y < h; ++y) {
      int32_t row = top_down ? y : h - 1 - y;
      const uint8_t* mask = have_mask ? bits + stride * h + mask_stride * row : nullptr;
      uint32_t* dst = out->data() + static_cast<size_t>(y) * w;
      for (int32_t x = 0; x < w; ++x) {
        if (bpp == 32 && any_alpha) continue;
        bool transparent = mask && ((mask[x / 8] >> (7 - x % 8)) & 1);
        dst[x] = (dst[x] & 0x00FFFFFF) | (transparent ? 0 : 0xFF000000u);
      }
    }
  } else {
    for (auto& p : *out) p &= 0x00FFFFFF;
  }
  *out_w = w;
  *out_h = h;
  return true;
}

}  // namespace

Rect Rect::Intersect(const Rect& o) const {
  Rect r{std::max(left, o.left), std::max(top, o.top), std::min(right, o.right),
         std::min(bottom, o.bottom)};
  if (r.IsEmpty()) return {};
  return r;
}

Bitmap Bitmap::Colour(int32_t width, int32_t height) {
  Bitmap b;
  if (width <= 0 || height <= 0 || width > kMaxSide || height > kMaxSide) return b;
  b.width_ = width;
  b.height_ = height;
  b.pixels_.assign(static_cast<size_t>(width) * height, 0);
  return b;
}

Bitmap Bitmap::Monochrome(int32_t width, int32_t height) {
  Bitmap b = Colour(width, height);
  b.mono_ = !b.IsNull();
  return b;
}

BitmapInfo Bitmap::Describe() const {
  BitmapInfo info;
  info.width = width_;
  info.height = height_;
  info.bitsPixel = mono_ ? 1 : 32;
  info.widthBytes = ((width_ * info.bitsPixel + 15) / 16) * 2;
  return info;
}

ColorRef Bitmap::GetPixel(int32_t x, int32_t y) const {
  if (x < 0 || y < 0 || x >= width_ || y >= height_) return 0;
  return ColorOf(pixels_[static_cast<size_t>(y) * width_ + x]);
}

void Bitmap::SetPixel(int32_t x, int32_t y, ColorRef colour) {
  if (x < 0 || y < 0 || x >= width_ || y >= height_) return;
  uint32_t p = PixelOf(colour);
  if (mono_) p = p == kWhitePixel ? kWhitePixel : 0;
  pixels_[static_cast<size_t>(y) * width_ + x] = p;
}

Bitmap DecodeBmp(const uint8_t* data, size_t size) {
  Bitmap result;
  if (data == nullptr || size < 14 + 40 || data[0] != 'B' || data[1] != 'M') return result;
  uint32_t offset = Le32(data + 10);
  if (offset < 14 + 40 || offset >= size) return result;
  int32_t w = 0, h = 0;
  std::vector<uint32_t> pixels;
  if (!DecodeDib(data + 14, size - 14, data + offset, size - offset, false, &w, &h, &pixels))
    return result;
  result = Bitmap::Colour(w, h);
  for (int32_t y = 0; y < h; ++y)
    memcpy(result.Row(y), pixels.data() + static_cast<size_t>(y) * w, w * 4u);
  return result;
}

Icon Icon::Decode(const uint8_t* data, size_t size, int32_t preferred) {
  Icon icon;
  if (data == nullptr || size < 6 || Le16(data) != 0 || Le16(data + 2) != 1) return icon;
  uint16_t count = Le16(data + 4);
  if (size < 6 + static_cast<size_t>(count) * 16) return icon;
  // Closest size first; among equals the deepest colour.
  int best = -1, best_diff = 0, best_bpp = 0;
  for (int i = 0; i < count; ++i) {
    const uint8_t* e = data + 6 + i * 16;
    int side = e[0] ? e[0] : 256;
    int bpp = Le16(e + 6);
    int diff = std::abs(side - preferred);
    if (best < 0 || diff < best_diff || (diff == best_diff && bpp > best_bpp)) {
      best = i;
      best_diff = diff;
      best_bpp = bpp;
    }
  }
  if (best < 0) return icon;
  const uint8_t* e = data + 6 + best * 16;
  uint32_t bytes = Le32(e + 8), at = Le32(e + 12);
  if (at >= size || bytes > size - at) return icon;
  const uint8_t* dib = data + at;
  if (bytes < 40) return icon;
  uint32_t header = Le32(dib);
  uint16_t bpp = Le16(dib + 14);
  uint32_t colours = Le32(dib + 32);
  size_t palette = bpp <= 8 ? (colours ? colours : (1u << bpp)) * 4 : 0;
  if (header > bytes || header + palette > bytes) return icon;
  int32_t w = 0, h = 0;
  std::vector<uint32_t> pixels;
  if (!DecodeDib(dib, bytes, dib + header + palette, bytes - header - palette, true, &w, &h,
                 &pixels))
    return icon;
  if (w != h) return icon;
  icon.size_ = w;
  icon.pixels_ = std::move(pixels);
  return icon;
}

}  // namespace platform
