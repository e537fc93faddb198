// Software drawing, checked pixel by pixel.
#include "platform/gdi.h"

#include <gtest/gtest.h>

#include <cstring>

#include "platform/codepage.h"

namespace platform {
namespace {

constexpr ColorRef kRed = Rgb(255, 0, 0);
constexpr ColorRef kBlue = Rgb(0, 0, 255);
constexpr ColorRef kWhite = Rgb(255, 255, 255);
constexpr ColorRef kBlack = Rgb(0, 0, 0);

Bitmap Filled(int w, int h, ColorRef c) {
  Bitmap b = Bitmap::Colour(w, h);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) b.SetPixel(x, y, c);
  return b;
}

TEST(GdiBlt, RasterOperationsCombineSourceAndDestination) {
  const ColorRef s = Rgb(0xF0, 0x0F, 0x55), d = Rgb(0x3C, 0xFF, 0x0A);
  struct Case {
    uint32_t rop;
    ColorRef want;
  } cases[] = {
      {kSrcCopy, s},
      {kSrcAnd, Rgb(0xF0 & 0x3C, 0x0F & 0xFF, 0x55 & 0x0A)},
      {kSrcPaint, Rgb(0xF0 | 0x3C, 0x0F | 0xFF, 0x55 | 0x0A)},
      {kSrcInvert, Rgb(0xF0 ^ 0x3C, 0x0F ^ 0xFF, 0x55 ^ 0x0A)},
      {kNotSrcCopy, Rgb(0x0F, 0xF0, 0xAA)},
      {kDstInvert, Rgb(0xC3, 0x00, 0xF5)},
      {kBlackness, kBlack},
      {kWhiteness, kWhite},
  };
  for (const Case& c : cases) {
    Bitmap src = Filled(2, 2, s), dst = Filled(2, 2, d);
    MemoryDc sdc, ddc;
    sdc.SelectBitmap(&src);
    ddc.SelectBitmap(&dst);
    ASSERT_TRUE(ddc.BitBlt(0, 0, 2, 2, &sdc, 0, 0, c.rop));
    EXPECT_EQ(dst.GetPixel(1, 1), c.want) << std::hex << c.rop;
  }
}

TEST(GdiBlt, UnknownRasterOperationFails) {
  Bitmap dst = Filled(1, 1, kRed);
  MemoryDc ddc;
  ddc.SelectBitmap(&dst);
  EXPECT_FALSE(ddc.BitBlt(0, 0, 1, 1, &ddc, 0, 0, 0x00123456));
  EXPECT_EQ(dst.GetPixel(0, 0), kRed);
}

TEST(GdiBlt, ColourToMonochromeGoesBySourceBackground) {
  Bitmap src = Filled(3, 1, kRed);
  src.SetPixel(1, 0, kBlue);
  Bitmap mask = Bitmap::Monochrome(3, 1);
  MemoryDc sdc, mdc;
  sdc.SelectBitmap(&src);
  mdc.SelectBitmap(&mask);
  sdc.SetBkColor(kBlue);
  mdc.SetBkColor(kRed);  // the destination's colours play no part here
  mdc.BitBlt(0, 0, 3, 1, &sdc, 0, 0, kSrcCopy);
  EXPECT_EQ(mask.GetPixel(0, 0), kBlack);
  EXPECT_EQ(mask.GetPixel(1, 0), kWhite);
  EXPECT_EQ(mask.GetPixel(2, 0), kBlack);
}

TEST(GdiBlt, MonochromeToColourUsesDestinationTextAndBackground) {
  Bitmap mask = Bitmap::Monochrome(2, 1);
  mask.SetPixel(1, 0, kWhite);
  Bitmap dst = Filled(2, 1, Rgb(1, 2, 3));
  MemoryDc mdc, ddc;
  mdc.SelectBitmap(&mask);
  ddc.SelectBitmap(&dst);
  mdc.SetTextColor(kBlue);  // the source's colours play no part here
  mdc.SetBkColor(kBlue);
  ddc.SetTextColor(kRed);
  ddc.SetBkColor(Rgb(0, 255, 0));
  ddc.BitBlt(0, 0, 2, 1, &mdc, 0, 0, kSrcCopy);
  EXPECT_EQ(dst.GetPixel(0, 0), kRed);            // 0 bit: text colour
  EXPECT_EQ(dst.GetPixel(1, 0), Rgb(0, 255, 0));  // 1 bit: background colour
}

TEST(GdiBlt, FreshMemoryContextsHaveMonochromeBitmapsAndBlackOnWhite) {
  MemoryDc dc;
  EXPECT_TRUE(CreateCompatibleBitmap(dc, 4, 4).IsMonochrome());
  EXPECT_EQ(dc.TextColor(), kBlack);
  EXPECT_EQ(dc.BkColor(), kWhite);
  Bitmap colour = Bitmap::Colour(4, 4);
  dc.SelectBitmap(&colour);
  Bitmap made = CreateCompatibleBitmap(dc, 4, 4);
  EXPECT_FALSE(made.IsMonochrome());
  EXPECT_EQ(made.Describe().bitsPixel, 32);
  EXPECT_EQ(Bitmap::Monochrome(17, 1).Describe().widthBytes, 4);
}

TEST(GdiBlt, CopyWithinOneBitmapReadsTheSourceFirst) {
  Bitmap b = Bitmap::Colour(4, 1);
  for (int x = 0; x < 4; ++x) b.SetPixel(x, 0, Rgb(x * 10, 0, 0));
  MemoryDc dc;
  dc.SelectBitmap(&b);
  dc.BitBlt(1, 0, 3, 1, &dc, 0, 0, kSrcCopy);
  EXPECT_EQ(b.GetPixel(1, 0), Rgb(0, 0, 0));
  EXPECT_EQ(b.GetPixel(2, 0), Rgb(10, 0, 0));
  EXPECT_EQ(b.GetPixel(3, 0), Rgb(20, 0, 0));
}

TEST(GdiBlt, OutsideTheBitmapNothingIsReadOrWritten) {
  Bitmap src = Filled(2, 2, kRed), dst = Filled(4, 4, kBlue);
  MemoryDc sdc, ddc;
  sdc.SelectBitmap(&src);
  ddc.SelectBitmap(&dst);
  EXPECT_TRUE(ddc.BitBlt(3, 3, 4, 4, &sdc, 1, 1, kSrcCopy));
  EXPECT_EQ(dst.GetPixel(3, 3), kRed);  // source (1, 1)
  EXPECT_EQ(dst.GetPixel(2, 2), kBlue);
  EXPECT_TRUE(ddc.BitBlt(-10, -10, 5, 5, &sdc, 0, 0, kSrcCopy));
  EXPECT_EQ(dst.GetPixel(0, 0), kBlue);
}

TEST(GdiRegion, XorOfWindowAndPaneLeavesAFrame) {
  Region window = Region::FromRect({0, 0, 100, 50}), pane = Region::FromRect({20, 10, 60, 30}),
         clip;
  EXPECT_EQ(clip.CombineFrom(window, pane, Region::kXor), Region::kComplexRegion);
  EXPECT_TRUE(clip.Contains(0, 0));
  EXPECT_TRUE(clip.Contains(19, 15));
  EXPECT_FALSE(clip.Contains(20, 10));
  EXPECT_FALSE(clip.Contains(59, 29));
  EXPECT_TRUE(clip.Contains(60, 29));
  EXPECT_TRUE(clip.Contains(99, 49));
  EXPECT_FALSE(clip.Contains(100, 0));
  int64_t area = 0;
  for (const Rect& r : clip.Rects()) area += int64_t(r.Width()) * r.Height();
  EXPECT_EQ(area, 100 * 50 - 40 * 20);
  EXPECT_EQ(clip.Bounds(), (Rect{0, 0, 100, 50}));
}

TEST(GdiRegion, XorCases) {
  Region a = Region::FromRect({0, 0, 10, 10}), b = Region::FromRect({5, 5, 15, 15}), r;
  r.CombineFrom(a, b, Region::kXor);
  EXPECT_TRUE(r.Contains(2, 2));
  EXPECT_TRUE(r.Contains(12, 12));
  EXPECT_FALSE(r.Contains(7, 7));   // in both
  EXPECT_FALSE(r.Contains(12, 2));  // in neither
  EXPECT_EQ(r.CombineFrom(a, a, Region::kXor), Region::kNullRegion);
  EXPECT_TRUE(r.IsEmpty());
  // A pane outside the window: XOR adds it.
  Region outside = Region::FromRect({20, 0, 30, 10});
  r.CombineFrom(a, outside, Region::kXor);
  EXPECT_TRUE(r.Contains(25, 5));
  EXPECT_TRUE(r.Contains(5, 5));
}

TEST(GdiRegion, ClipLimitsBlockTransfersAndFills) {
  Bitmap src = Filled(8, 8, kRed), dst = Filled(8, 8, kBlue);
  MemoryDc sdc, ddc;
  sdc.SelectBitmap(&src);
  ddc.SelectBitmap(&dst);
  Region clip;
  clip.CombineFrom(Region::FromRect({0, 0, 8, 8}), Region::FromRect({2, 2, 6, 6}), Region::kXor);
  ddc.SelectClipRegion(&clip);
  ddc.BitBlt(0, 0, 8, 8, &sdc, 0, 0, kSrcCopy);
  for (int y = 0; y < 8; ++y)
    for (int x = 0; x < 8; ++x) {
      bool inner = x >= 2 && x < 6 && y >= 2 && y < 6;
      EXPECT_EQ(dst.GetPixel(x, y), inner ? kBlue : kRed) << x << "," << y;
    }
  ddc.SelectClipRegion(nullptr);
  ddc.FillSolidRect({0, 0, 8, 8}, kWhite);
  EXPECT_EQ(dst.GetPixel(3, 3), kWhite);
}

class GdiText : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(font_.Create(12, 400, Utf8ToCp949("굴림"))) << "no Korean font";
  }
  Font font_;
};

TEST_F(GdiText, TransparentBlackTextKeepsTheBackground) {
  const ColorRef bg = Rgb(200, 180, 140);
  Bitmap b = Filled(120, 20, bg);
  MemoryDc dc;
  dc.SelectBitmap(&b);
  dc.SelectFont(&font_);
  dc.SetBkMode(kTransparent);
  dc.SetTextColor(kBlack);
  ASSERT_TRUE(dc.DrawTextAt(2, 2, Utf8ToCp949("프로그램 설치 중 [1/2]")));
  int inked = 0, dark = 0;
  for (int y = 0; y < 20; ++y)
    for (int x = 0; x < 120; ++x) {
      ColorRef p = b.GetPixel(x, y);
      if (p == bg) continue;
      ++inked;
      // Every touched pixel lies between the background and black.
      EXPECT_LE(RedOf(p), RedOf(bg));
      EXPECT_LE(GreenOf(p), GreenOf(bg));
      EXPECT_LE(BlueOf(p), BlueOf(bg));
      EXPECT_NEAR(RedOf(p) * 140.0 / 200.0, BlueOf(p), 2.0);
      if (RedOf(p) < 40) ++dark;
    }
  EXPECT_GT(inked, 100);
  EXPECT_GT(dark, 30);
  // Nothing above or left of the text origin, where no glyph reaches.
  for (int x = 0; x < 120; ++x) EXPECT_EQ(b.GetPixel(x, 0), bg);
}

TEST_F(GdiText, OpaqueTextFillsItsExtentWithTheBackgroundColour) {
  Bitmap b = Filled(80, 20, kBlue);
  MemoryDc dc;
  dc.SelectBitmap(&b);
  dc.SelectFont(&font_);
  dc.SetBkColor(kWhite);
  dc.DrawTextAt(0, 0, "Ab");
  Size ext = dc.GetTextExtent("Ab");
  ASSERT_GT(ext.cx, 0);
  EXPECT_NE(b.GetPixel(0, 0), kBlue);
  EXPECT_EQ(b.GetPixel(ext.cx + 2, 2), kBlue);
}

TEST_F(GdiText, HangulSyllablesHaveTheirOwnGlyphs) {
  // A missing glyph would draw the same box for both.
  auto render = [&](const char* utf8) {
    Bitmap b = Filled(20, 16, kWhite);
    MemoryDc dc;
    dc.SelectBitmap(&b);
    dc.SelectFont(&font_);
    dc.SetBkMode(kTransparent);
    dc.DrawTextAt(0, 0, Utf8ToCp949(utf8));
    std::vector<ColorRef> px;
    for (int y = 0; y < 16; ++y)
      for (int x = 0; x < 20; ++x) px.push_back(b.GetPixel(x, y));
    return px;
  };
  EXPECT_NE(render("가"), render("나"));
  MemoryDc dc;
  dc.SelectFont(&font_);
  EXPECT_GT(dc.GetTextExtent(Utf8ToCp949("가")).cx, dc.GetTextExtent("i").cx);
  EXPECT_LE(font_.LineHeight(), 16);
}

// A 3 x 2, 24-bit, bottom-up BMP.
std::vector<uint8_t> SmallBmp() {
  std::vector<uint8_t> f(14 + 40 + 2 * 12, 0);
  f[0] = 'B';
  f[1] = 'M';
  f[10] = 54;
  f[14] = 40;
  f[18] = 3;
  f[22] = 2;
  f[26] = 1;
  f[28] = 24;
  uint8_t* px = f.data() + 54;
  // Bottom row first: blue, green, red; then the top row: white, black, grey.
  const uint8_t rows[2][9] = {{255, 0, 0, 0, 255, 0, 0, 0, 255},
                              {255, 255, 255, 0, 0, 0, 128, 128, 128}};
  memcpy(px, rows[0], 9);
  memcpy(px + 12, rows[1], 9);
  return f;
}

TEST(GdiBmp, DecodesBottomUpRows) {
  auto f = SmallBmp();
  Bitmap b = DecodeBmp(f.data(), f.size());
  ASSERT_FALSE(b.IsNull());
  EXPECT_EQ(b.Width(), 3);
  EXPECT_EQ(b.GetPixel(0, 0), kWhite);
  EXPECT_EQ(b.GetPixel(2, 0), Rgb(128, 128, 128));
  EXPECT_EQ(b.GetPixel(0, 1), kBlue);
  EXPECT_EQ(b.GetPixel(2, 1), kRed);
}

TEST(GdiBmp, RejectsTruncatedAndForeignData) {
  auto f = SmallBmp();
  EXPECT_TRUE(DecodeBmp(f.data(), f.size() - 1).IsNull());
  EXPECT_TRUE(DecodeBmp(f.data(), 20).IsNull());
  f[0] = 'X';
  EXPECT_TRUE(DecodeBmp(f.data(), f.size()).IsNull());
  auto huge = SmallBmp();
  huge[21] = 0x7F;  // width 2^31-ish
  EXPECT_TRUE(DecodeBmp(huge.data(), huge.size()).IsNull());
  auto lowest = SmallBmp();
  const uint8_t min_height[4] = {0, 0, 0, 0x80};  // INT32_MIN: no top-down flip of it
  memcpy(&lowest[22], min_height, 4);
  EXPECT_TRUE(DecodeBmp(lowest.data(), lowest.size()).IsNull());
}

}  // namespace
}  // namespace platform
