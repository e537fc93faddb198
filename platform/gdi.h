// Software drawing: 32-bit bitmaps, device contexts, block transfers with the
// raster operations of the skin code, regions and text.
//
// The colour rules of block transfers between colour and monochrome bitmaps
// are those of GDI, because the transparent drawing of skin cells is built on
// them:
//   colour -> monochrome: a source pixel equal to the SOURCE context's
//     background colour becomes 1 (white), every other pixel 0 (black);
//   monochrome -> colour: a 0 bit becomes the DESTINATION context's text
//     colour, a 1 bit its background colour.
// The raster operation is then applied to the converted source.
//
// Thread safety: a bitmap, region or context is used by one thread at a time.
// Fonts may be drawn from any thread (text rendering is serialised inside).
#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace platform {

// A colour as GDI stores it: 0x00BBGGRR.
using ColorRef = uint32_t;
constexpr ColorRef Rgb(uint8_t r, uint8_t g, uint8_t b) {
  return static_cast<ColorRef>(r) | (static_cast<ColorRef>(g) << 8) |
         (static_cast<ColorRef>(b) << 16);
}
constexpr uint8_t RedOf(ColorRef c) { return c & 0xFF; }
constexpr uint8_t GreenOf(ColorRef c) { return (c >> 8) & 0xFF; }
constexpr uint8_t BlueOf(ColorRef c) { return (c >> 16) & 0xFF; }

struct Point {
  int32_t x = 0;
  int32_t y = 0;
};

struct Size {
  int32_t cx = 0;
  int32_t cy = 0;
};

struct Rect {
  int32_t left = 0;
  int32_t top = 0;
  int32_t right = 0;
  int32_t bottom = 0;

  int32_t Width() const { return right - left; }
  int32_t Height() const { return bottom - top; }
  bool IsEmpty() const { return right <= left || bottom <= top; }
  bool Contains(Point p) const { return p.x >= left && p.x < right && p.y >= top && p.y < bottom; }
  Point TopLeft() const { return {left, top}; }
  Rect Offset(int32_t dx, int32_t dy) const {
    return {left + dx, top + dy, right + dx, bottom + dy};
  }
  Rect Intersect(const Rect& o) const;
  bool operator==(const Rect& o) const = default;
};

// What GetObject tells about a bitmap.
struct BitmapInfo {
  int32_t type = 0;
  int32_t width = 0;
  int32_t height = 0;
  int32_t widthBytes = 0;  // bytes per row, rounded up to 2 bytes
  uint16_t planes = 1;
  uint16_t bitsPixel = 0;  // 1 (monochrome) or 32
};

// A bitmap of 32-bit pixels, or a monochrome one (each pixel black or white).
// A default-constructed bitmap is null.
class Bitmap {
 public:
  Bitmap() = default;
  static Bitmap Colour(int32_t width, int32_t height);      // all black
  static Bitmap Monochrome(int32_t width, int32_t height);  // all black (0)

  bool IsNull() const { return width_ <= 0 || height_ <= 0; }
  bool IsMonochrome() const { return mono_; }
  int32_t Width() const { return width_; }
  int32_t Height() const { return height_; }
  BitmapInfo Describe() const;

  // Pixel access in COLORREF terms; outside the bitmap reads give black and
  // writes are ignored. A monochrome bitmap stores any colour but white as
  // black.
  ColorRef GetPixel(int32_t x, int32_t y) const;
  void SetPixel(int32_t x, int32_t y, ColorRef colour);

  // Raw rows, 0x00RRGGBB per pixel (a monochrome pixel is 0 or 0x00FFFFFF).
  uint32_t* Row(int32_t y) { return pixels_.data() + static_cast<size_t>(y) * width_; }
  const uint32_t* Row(int32_t y) const { return pixels_.data() + static_cast<size_t>(y) * width_; }

 private:
  int32_t width_ = 0;
  int32_t height_ = 0;
  bool mono_ = false;
  std::vector<uint32_t> pixels_;
};

// Decodes a Windows BMP file (1, 4, 8, 24 or 32 bits, bottom-up or top-down,
// uncompressed). A null bitmap when the data is not such a file.
Bitmap DecodeBmp(const uint8_t* data, size_t size);

// An icon: 32-bit pixels with alpha (0xAARRGGBB).
class Icon {
 public:
  bool IsNull() const { return size_ <= 0; }
  int32_t Width() const { return size_; }
  int32_t Height() const { return size_; }
  uint32_t Argb(int32_t x, int32_t y) const { return pixels_[static_cast<size_t>(y) * size_ + x]; }
  const std::vector<uint32_t>& Pixels() const { return pixels_; }

  // Picks from a .ico file the image closest to `size` pixels (32-bit images
  // use their alpha, others their AND mask). Null when nothing decodes.
  static Icon Decode(const uint8_t* data, size_t size, int32_t preferred);

 private:
  int32_t size_ = 0;
  std::vector<uint32_t> pixels_;
};

// A set of pixels made of rectangles, as clip regions are.
class Region {
 public:
  enum Combine { kAnd = 1, kOr = 2, kXor = 3, kDiff = 4, kCopy = 5 };
  // What Combine returns (the GDI values).
  enum Complexity { kError = 0, kNullRegion = 1, kSimpleRegion = 2, kComplexRegion = 3 };

  Region() = default;
  static Region FromRect(const Rect& r);

  // this = a <mode> b (b unused for kCopy).
  Complexity CombineFrom(const Region& a, const Region& b, Combine mode);
  bool Contains(int32_t x, int32_t y) const;
  bool IsEmpty() const { return rects_.empty(); }
  Rect Bounds() const;
  void Offset(int32_t dx, int32_t dy);
  // Disjoint rectangles, in rows from top to bottom.
  const std::vector<Rect>& Rects() const { return rects_; }

 private:
  std::vector<Rect> rects_;
};

// A font by face (code page 949), height and weight, as CreateFont takes them:
// a positive height is the cell height in pixels, a negative one the
// character (em) height. Faces that are not installed, such as "굴림", are
// stood in for by a Korean font from the system (Nanum on POSIX; on Windows
// the font mapper's choice for the Korean character set).
class Font {
 public:
  Font();
  ~Font();
  Font(Font&&) noexcept;
  Font& operator=(Font&&) noexcept;
  Font(const Font&) = delete;
  Font& operator=(const Font&) = delete;

  bool Create(int32_t height, int32_t weight, const std::string& face);
  void Destroy();
  bool IsNull() const;
  // Pixels from the top of a line to the top of the next one.
  int32_t LineHeight() const;

  struct Impl;
  Impl* impl() const { return impl_.get(); }

 private:
  std::unique_ptr<Impl> impl_;
};

// Raster operations (the GDI values).
enum RasterOp : uint32_t {
  kSrcCopy = 0x00CC0020,     // S
  kSrcPaint = 0x00EE0086,    // S | D
  kSrcAnd = 0x008800C6,      // S & D
  kSrcInvert = 0x00660046,   // S ^ D
  kNotSrcCopy = 0x00330008,  // ~S
  kDstInvert = 0x00550009,   // ~D
  kBlackness = 0x00000042,
  kWhiteness = 0x00FF0062,
};

enum BkMode : int32_t { kTransparent = 1, kOpaque = 2 };

// Text layout flags for DrawTextInRect (the GDI values).
enum TextFormat : uint32_t {
  kTextLeft = 0x0,
  kTextCenter = 0x1,
  kTextRight = 0x2,
  kTextVCenter = 0x4,
  kTextWordBreak = 0x10,
  kTextSingleLine = 0x20,
};

// A device context: a target bitmap area with drawing state. Device
// coordinates start at the area's top-left; nothing is drawn outside the area
// or the selected clip region.
class Dc {
 public:
  virtual ~Dc() = default;
  Dc(const Dc&) = delete;
  Dc& operator=(const Dc&) = delete;

  ColorRef SetTextColor(ColorRef colour);
  ColorRef SetBkColor(ColorRef colour);
  ColorRef TextColor() const { return text_; }
  ColorRef BkColor() const { return bk_; }
  BkMode SetBkMode(BkMode mode);
  const Font* SelectFont(const Font* font);  // returns the previous one

  // Copies `region` (device coordinates) as the clip; null removes the clip.
  void SelectClipRegion(const Region* region);

  // The bitmap drawn into (the window surface for window contexts).
  Bitmap* Target() const { return target_; }
  // Size of the drawable area.
  Size AreaSize() const;

  bool BitBlt(int32_t x, int32_t y, int32_t w, int32_t h, const Dc* src, int32_t sx, int32_t sy,
              uint32_t rop);
  void FillSolidRect(const Rect& r, ColorRef colour);
  void FrameRect(const Rect& r, ColorRef colour);
  bool DrawTextAt(int32_t x, int32_t y, const std::string& text);
  Size GetTextExtent(const std::string& text) const;
  void DrawTextInRect(const std::string& text, const Rect& r, uint32_t format);
  void DrawIcon(int32_t x, int32_t y, const Icon& icon);
  ColorRef GetPixel(int32_t x, int32_t y) const;

 protected:
  Dc() = default;
  // Draws into `area` of `target` (device origin at the area's top-left),
  // writing only inside `limit` (target pixels) and the bitmap.
  void SetTarget(Bitmap* target, const Rect& area);
  void SetTarget(Bitmap* target, const Rect& area, const Rect& limit);

 private:
  bool Writable(int32_t dx, int32_t dy) const;      // device coordinates
  uint32_t* PixelAt(int32_t dx, int32_t dy) const;  // null outside the area
  std::vector<Rect> WritableRects(const Rect& r) const;
  void BlendText(int32_t x, int32_t y, const std::string& utf8);

  Bitmap* target_ = nullptr;
  Rect area_;         // in target pixels, cut to the bitmap
  Point origin_cut_;  // device position of the area's top-left
  Size full_size_;    // the requested area's size
  ColorRef text_ = Rgb(0, 0, 0);
  ColorRef bk_ = Rgb(255, 255, 255);
  BkMode mode_ = kOpaque;
  const Font* font_ = nullptr;
  bool clipped_ = false;
  Region clip_;  // device coordinates
};

// A memory context. It starts with a 1 x 1 monochrome bitmap selected, as in
// GDI, so a bitmap "compatible" with a fresh memory context is monochrome.
class MemoryDc : public Dc {
 public:
  MemoryDc();
  // Selects `bitmap` (not owned; null selects the stock 1 x 1 bitmap) and
  // returns the previous one (null for the stock bitmap).
  Bitmap* SelectBitmap(Bitmap* bitmap);

 private:
  Bitmap stock_;
  Bitmap* selected_ = nullptr;
};

// A bitmap of the kind selected in `dc`: monochrome when dc's bitmap is,
// else colour.
Bitmap CreateCompatibleBitmap(const Dc& dc, int32_t width, int32_t height);

}  // namespace platform
