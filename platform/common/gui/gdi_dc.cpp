// Device contexts: block transfers, fills, text and icons on software
// bitmaps.
#include <algorithm>
#include <cstring>

#include "platform/codepage.h"
#include "platform/gdi.h"
#include "platform/common/gui/font_render.h"

namespace platform {

namespace {

constexpr uint32_t kWhitePixel = 0x00FFFFFF;

uint32_t PixelOf(ColorRef c) {
  return (static_cast<uint32_t>(RedOf(c)) << 16) | (static_cast<uint32_t>(GreenOf(c)) << 8) |
         BlueOf(c);
}

bool NeedsSource(uint32_t rop) {
  return rop != kBlackness && rop != kWhiteness && rop != kDstInvert;
}

uint32_t Apply(uint32_t rop, uint32_t s, uint32_t d) {
  switch (rop) {
    case kSrcCopy:
      return s;
    case kSrcPaint:
      return s | d;
    case kSrcAnd:
      return s & d;
    case kSrcInvert:
      return s ^ d;
    case kNotSrcCopy:
      return ~s & kWhitePixel;
    case kDstInvert:
      return ~d & kWhitePixel;
    case kBlackness:
      return 0;
    case kWhiteness:
      return kWhitePixel;
    default:
      return d;
  }
}

bool KnownRop(uint32_t rop) {
  switch (rop) {
    case kSrcCopy:
    case kSrcPaint:
    case kSrcAnd:
    case kSrcInvert:
    case kNotSrcCopy:
    case kDstInvert:
    case kBlackness:
    case kWhiteness:
      return true;
    default:
      return false;
  }
}

uint32_t Blend(uint32_t dst, uint32_t colour, uint32_t alpha) {
  uint32_t out = 0;
  for (int shift = 0; shift <= 16; shift += 8) {
    uint32_t d = (dst >> shift) & 0xFF, c = (colour >> shift) & 0xFF;
    out |= ((c * alpha + d * (255 - alpha) + 127) / 255) << shift;
  }
  return out;
}

}  // namespace

void Dc::SetTarget(Bitmap* target, const Rect& area) {
  SetTarget(target, area, target ? Rect{0, 0, target->Width(), target->Height()} : Rect{});
}

void Dc::SetTarget(Bitmap* target, const Rect& area, const Rect& limit) {
  target_ = target;
  full_size_ = {area.Width(), area.Height()};
  area_ =
      target ? area.Intersect({0, 0, target->Width(), target->Height()}).Intersect(limit) : Rect{};
  // Device coordinates keep their origin at the area's requested corner even
  // when the area is cut by the bitmap's edge.
  if (target && !area_.IsEmpty()) {
    origin_cut_ = {area_.left - area.left, area_.top - area.top};
  } else {
    origin_cut_ = {};
  }
}

ColorRef Dc::SetTextColor(ColorRef colour) {
  ColorRef old = text_;
  text_ = colour & 0x00FFFFFF;
  return old;
}

ColorRef Dc::SetBkColor(ColorRef colour) {
  ColorRef old = bk_;
  bk_ = colour & 0x00FFFFFF;
  return old;
}

BkMode Dc::SetBkMode(BkMode mode) {
  BkMode old = mode_;
  mode_ = mode;
  return old;
}

const Font* Dc::SelectFont(const Font* font) {
  const Font* old = font_;
  font_ = font;
  return old;
}

void Dc::SelectClipRegion(const Region* region) {
  clipped_ = region != nullptr;
  if (region) clip_ = *region;
}

bool Dc::Writable(int32_t dx, int32_t dy) const {
  int32_t tx = dx - origin_cut_.x, ty = dy - origin_cut_.y;
  if (tx < 0 || ty < 0 || tx >= area_.Width() || ty >= area_.Height()) return false;
  return !clipped_ || clip_.Contains(dx, dy);
}

uint32_t* Dc::PixelAt(int32_t dx, int32_t dy) const {
  int32_t tx = dx - origin_cut_.x, ty = dy - origin_cut_.y;
  if (target_ == nullptr || tx < 0 || ty < 0 || tx >= area_.Width() || ty >= area_.Height())
    return nullptr;
  return target_->Row(area_.top + ty) + area_.left + tx;
}

Size Dc::AreaSize() const { return full_size_; }

ColorRef Dc::GetPixel(int32_t x, int32_t y) const {
  const uint32_t* p = PixelAt(x, y);
  if (!p) return 0xFFFFFFFF;  // CLR_INVALID
  return Rgb((*p >> 16) & 0xFF, (*p >> 8) & 0xFF, *p & 0xFF);
}

// Device rectangles this context may write, clip included.
std::vector<Rect> Dc::WritableRects(const Rect& r) const {
  Rect area{origin_cut_.x, origin_cut_.y, origin_cut_.x + area_.Width(),
            origin_cut_.y + area_.Height()};
  Rect base = r.Intersect(area);
  std::vector<Rect> out;
  if (base.IsEmpty()) return out;
  if (!clipped_) {
    out.push_back(base);
    return out;
  }
  for (const Rect& c : clip_.Rects()) {
    Rect part = c.Intersect(base);
    if (!part.IsEmpty()) out.push_back(part);
  }
  return out;
}

bool Dc::BitBlt(int32_t x, int32_t y, int32_t w, int32_t h, const Dc* src, int32_t sx, int32_t sy,
                uint32_t rop) {
  if (target_ == nullptr || !KnownRop(rop)) return false;
  bool with_source = NeedsSource(rop);
  if (with_source && (src == nullptr || src->target_ == nullptr)) return false;
  if (w <= 0 || h <= 0) return true;
  Rect dest{x, y, x + w, y + h};
  // Only where the source has pixels is anything written.
  if (with_source) {
    Rect have{src->origin_cut_.x, src->origin_cut_.y, src->origin_cut_.x + src->area_.Width(),
              src->origin_cut_.y + src->area_.Height()};
    dest = dest.Intersect(have.Offset(x - sx, y - sy));
  }
  std::vector<Rect> parts = WritableRects(dest);
  if (parts.empty()) return true;
  const bool dst_mono = target_->IsMonochrome();
  const bool src_mono = with_source && src->target_->IsMonochrome();
  const uint32_t src_bk = with_source ? PixelOf(src->bk_) : 0;
  const uint32_t on_one = PixelOf(bk_), on_zero = PixelOf(text_);
  // A copy within one bitmap reads the source block before writing, as if
  // through a temporary.
  Bitmap copy;
  const Bitmap* from = with_source ? src->target_ : nullptr;
  int32_t from_dx = 0, from_dy = 0;  // device -> bitmap offset of the source
  if (with_source) {
    from_dx = src->area_.left - src->origin_cut_.x;
    from_dy = src->area_.top - src->origin_cut_.y;
    if (src->target_ == target_) {
      copy = *src->target_;
      from = &copy;
    }
  }
  const int32_t to_dx = area_.left - origin_cut_.x, to_dy = area_.top - origin_cut_.y;
  for (const Rect& part : parts) {
    const int32_t n = part.Width();
    for (int32_t row = part.top; row < part.bottom; ++row) {
      uint32_t* d = target_->Row(row + to_dy) + part.left + to_dx;
      if (!with_source) {
        for (int32_t i = 0; i < n; ++i) {
          uint32_t v = Apply(rop, 0, d[i]);
          d[i] = dst_mono ? (v == kWhitePixel ? kWhitePixel : 0) : v;
        }
        continue;
      }
      const uint32_t* s = from->Row(row - y + sy + from_dy) + part.left - x + sx + from_dx;
      if (rop == kSrcCopy && src_mono == dst_mono) {
        memcpy(d, s, static_cast<size_t>(n) * 4);
        continue;
      }
      for (int32_t i = 0; i < n; ++i) {
        uint32_t v = s[i];
        if (!src_mono && dst_mono) v = v == src_bk ? kWhitePixel : 0;
        if (src_mono && !dst_mono) v = v == kWhitePixel ? on_one : on_zero;
        v = Apply(rop, v, d[i]);
        d[i] = dst_mono ? (v == kWhitePixel ? kWhitePixel : 0) : v;
      }
    }
  }
  return true;
}

void Dc::FillSolidRect(const Rect& r, ColorRef colour) {
  if (target_ == nullptr) return;
  uint32_t v = PixelOf(colour);
  if (target_->IsMonochrome()) v = v == kWhitePixel ? kWhitePixel : 0;
  const int32_t to_dx = area_.left - origin_cut_.x, to_dy = area_.top - origin_cut_.y;
  for (const Rect& part : WritableRects(r))
    for (int32_t row = part.top; row < part.bottom; ++row) {
      uint32_t* d = target_->Row(row + to_dy) + part.left + to_dx;
      std::fill(d, d + part.Width(), v);
    }
}

void Dc::FrameRect(const Rect& r, ColorRef colour) {
  if (r.IsEmpty()) return;
  FillSolidRect({r.left, r.top, r.right, r.top + 1}, colour);
  FillSolidRect({r.left, r.bottom - 1, r.right, r.bottom}, colour);
  FillSolidRect({r.left, r.top, r.left + 1, r.bottom}, colour);
  FillSolidRect({r.right - 1, r.top, r.right, r.bottom}, colour);
}

void Dc::BlendText(int32_t x, int32_t y, const std::string& utf8) {
  TextCoverage cov;
  if (!RenderTextCoverage(*font_, utf8, &cov)) return;
  if (mode_ == kOpaque) FillSolidRect({x, y, x + cov.width, y + cov.height}, bk_);
  bool mono = target_->IsMonochrome();
  uint32_t colour = PixelOf(text_);
  for (int32_t j = 0; j < cov.height; ++j)
    for (int32_t i = 0; i < cov.width; ++i) {
      uint32_t a = cov.alpha[static_cast<size_t>(j) * cov.width + i];
      if (a == 0 || !Writable(x + i, y + j)) continue;
      uint32_t* d = PixelAt(x + i, y + j);
      if (mono) {
        if (a >= 128) *d = colour == kWhitePixel ? kWhitePixel : 0;
      } else {
        *d = Blend(*d, colour, a);
      }
    }
}

bool Dc::DrawTextAt(int32_t x, int32_t y, const std::string& text) {
  if (target_ == nullptr || font_ == nullptr || font_->IsNull()) return false;
  if (text.empty()) return true;
  BlendText(x, y, Cp949ToUtf8(text));
  return true;
}

Size Dc::GetTextExtent(const std::string& text) const {
  if (font_ == nullptr) return {};
  return MeasureText(*font_, Cp949ToUtf8(text));
}

void Dc::DrawTextInRect(const std::string& text, const Rect& r, uint32_t format) {
  if (target_ == nullptr || font_ == nullptr || font_->IsNull()) return;
  std::string utf8 = Cp949ToUtf8(text);
  // Lines: hard breaks, then (with word breaks) wrapping at spaces.
  std::vector<std::string> lines;
  size_t start = 0;
  while (start <= utf8.size()) {
    size_t end = format & kTextSingleLine ? std::string::npos : utf8.find('\n', start);
    std::string line =
        utf8.substr(start, end == std::string::npos ? std::string::npos : end - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if ((format & kTextWordBreak) && !(format & kTextSingleLine)) {
      std::string current;
      size_t pos = 0;
      while (pos < line.size()) {
        size_t space = line.find(' ', pos);
        std::string word =
            line.substr(pos, space == std::string::npos ? std::string::npos : space - pos + 1);
        pos = space == std::string::npos ? line.size() : space + 1;
        if (!current.empty() && MeasureText(*font_, current + word).cx > r.Width()) {
          lines.push_back(current);
          current.clear();
        }
        current += word;
      }
      lines.push_back(current);
    } else {
      lines.push_back(line);
    }
    if (end == std::string::npos) break;
    start = end + 1;
  }
  int32_t line_height = font_->LineHeight();
  int32_t total = line_height * static_cast<int32_t>(lines.size());
  int32_t y = r.top;
  if (format & kTextVCenter) y = r.top + (r.Height() - total) / 2;
  for (const std::string& line : lines) {
    int32_t w = MeasureText(*font_, line).cx;
    int32_t x = r.left;
    if (format & kTextCenter) x = r.left + (r.Width() - w) / 2;
    if (format & kTextRight) x = r.right - w;
    if (!line.empty()) BlendText(x, y, line);
    y += line_height;
  }
}

void Dc::DrawIcon(int32_t x, int32_t y, const Icon& icon) {
  if (target_ == nullptr || icon.IsNull()) return;
  for (int32_t j = 0; j < icon.Height(); ++j)
    for (int32_t i = 0; i < icon.Width(); ++i) {
      uint32_t p = icon.Argb(i, j);
      uint32_t a = p >> 24;
      if (a == 0 || !Writable(x + i, y + j)) continue;
      uint32_t* d = PixelAt(x + i, y + j);
      *d = Blend(*d, p & 0x00FFFFFF, a);
    }
}

MemoryDc::MemoryDc() : stock_(Bitmap::Monochrome(1, 1)) { SetTarget(&stock_, {0, 0, 1, 1}); }

Bitmap* MemoryDc::SelectBitmap(Bitmap* bitmap) {
  Bitmap* old = selected_;
  selected_ = bitmap;
  Bitmap* now = bitmap ? bitmap : &stock_;
  SetTarget(now, {0, 0, now->Width(), now->Height()});
  return old;
}

Bitmap CreateCompatibleBitmap(const Dc& dc, int32_t width, int32_t height) {
  if (dc.Target() && dc.Target()->IsMonochrome()) return Bitmap::Monochrome(width, height);
  return Bitmap::Colour(width, height);
}

}  // namespace platform
