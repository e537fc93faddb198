// Text through GDI: the faces the toolkit asks for give glyphs for Korean
// and Latin text, as Windows draws them; a font that cannot draw Korean is
// told apart.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>

#include "platform/codepage.h"
#include "platform/common/gui/font_render.h"
#include "platform/win32/gui/font_coverage.h"

namespace platform {
namespace {

int Inked(const TextCoverage& c) {
  return static_cast<int>(std::count_if(c.alpha.begin(), c.alpha.end(), [](uint8_t a) { return a > 0; }));
}

TEST(GdiFontTest, KoreanAndLatinTextGetCoverageInTheToolkitsFaces) {
  for (const char* face : {"굴림", "MS Shell Dlg", "돋움"}) {
    Font font;
    ASSERT_TRUE(font.Create(-12, 400, Utf8ToCp949(face)))
        << face << ": no font draws Korean text here (a Korean Windows has Gulim; Wine needs a Korean font)";
    for (const char* text : {"프로그램 설치 중 [1/8]", "Pingbell", "확인"}) {
      TextCoverage coverage;
      ASSERT_TRUE(RenderTextCoverage(font, text, &coverage)) << face << " " << text;
      Size measured = MeasureText(font, text);
      EXPECT_GE(coverage.width, measured.cx);
      EXPECT_EQ(coverage.height, measured.cy);
      EXPECT_EQ(coverage.alpha.size(), static_cast<size_t>(coverage.width) * coverage.height);
      EXPECT_GT(Inked(coverage), 10) << face << " " << text;
      EXPECT_LE(coverage.height, 20) << face;
    }
  }
}

TEST(GdiFontTest, DifferentSyllablesDrawDifferentGlyphs) {
  // A face without Hangul would draw the same box for both.
  Font font;
  ASSERT_TRUE(font.Create(-12, 400, Utf8ToCp949("굴림")));
  TextCoverage ga, na;
  ASSERT_TRUE(RenderTextCoverage(font, "가", &ga));
  ASSERT_TRUE(RenderTextCoverage(font, "나", &na));
  EXPECT_NE(ga.alpha, na.alpha);
  EXPECT_GT(MeasureText(font, "가가").cx, MeasureText(font, "ii").cx);
}

TEST(GdiFontTest, BoldIsWiderOrDarkerThanRegular) {
  Font regular, bold;
  ASSERT_TRUE(regular.Create(-14, 400, Utf8ToCp949("굴림")));
  ASSERT_TRUE(bold.Create(-14, 700, Utf8ToCp949("굴림")));
  TextCoverage r, b;
  ASSERT_TRUE(RenderTextCoverage(regular, "Update", &r));
  ASSERT_TRUE(RenderTextCoverage(bold, "Update", &b));
  auto ink = [](const TextCoverage& c) {
    long sum = 0;
    for (uint8_t a : c.alpha) sum += a;
    return sum;
  };
  EXPECT_GT(ink(b), ink(r)) << r.width << " " << b.width;
}

TEST(GdiFontTest, AFontWithoutKoreanGlyphsIsToldApart) {
  // Marlett (Windows' and Wine's window-control symbols) has no Hangul.
  HFONT symbols = CreateFontW(-12, 0, 0, 0, 400, 0, 0, 0, SYMBOL_CHARSET, 0, 0, 0, 0, L"Marlett");
  ASSERT_NE(symbols, nullptr);
  EXPECT_FALSE(FontCoversText(symbols, L"\uAC00"));
  DeleteObject(symbols);
  HFONT korean = CreateFontW(-12, 0, 0, 0, 400, 0, 0, 0, HANGEUL_CHARSET, 0, 0, 0, 0, L"\uAD74\uB9BC");
  ASSERT_NE(korean, nullptr);
  EXPECT_TRUE(FontCoversText(korean, L"\uAC00 A"));
  DeleteObject(korean);
  EXPECT_FALSE(FontCoversText(nullptr, L"A"));
}

TEST(GdiFontTest, NothingIsDrawnForNoFontOrNoText) {
  Font none;
  TextCoverage c;
  EXPECT_FALSE(RenderTextCoverage(none, "A", &c));
  EXPECT_EQ(MeasureText(none, "A").cx, 0);
  Font font;
  ASSERT_TRUE(font.Create(12, 400, Utf8ToCp949("굴림")));
  EXPECT_FALSE(RenderTextCoverage(font, "", &c));
  EXPECT_EQ(MeasureText(font, "").cx, 0);
  EXPECT_GT(MeasureText(font, "").cy, 0);
  EXPECT_GT(font.LineHeight(), 0);
}

}  // namespace
}  // namespace platform
