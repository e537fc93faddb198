// Fonts and text through GDI: CreateFontIndirectW with the face the toolkit
// asks for and the Korean character set, so the system's font mapper picks
// the face itself where it is installed (굴림 on a Korean Windows) and else
// a Korean face it has (under Wine the Nanum fonts of the host). Text is
// drawn by ExtTextOutW, white on black, into a 32-bit DIB section and read
// back as coverage: antialiased or plain as Windows draws that face and
// size, never ClearType (which would tint the edges per colour channel).
//
// GDI objects may be used from any thread, but not one DC at once: every
// call goes through one memory DC under a lock.
#include <windows.h>

#include <algorithm>
#include <cstring>
#include <mutex>
#include <vector>

#include "platform/codepage.h"
#include "platform/common/gui/font_render.h"
#include "platform/debug.h"
#include "platform/error.h"
#include "platform/win32/gui/font_coverage.h"
#include "platform/win32/wide.h"

namespace platform {

namespace {

// A character every Korean font has: the system's texts are code page 949
// Korean, so a font without it would draw them as boxes.
constexpr wchar_t kHangulProbe[] = L"\uAC00";

struct Gdi {
  std::mutex lock;
  HDC dc = nullptr;
};

Gdi& TheGdi() {
  static Gdi* gdi = [] {
    auto* g = new Gdi;  // lives until the process ends
    g->dc = CreateCompatibleDC(nullptr);
    return g;
  }();
  return *gdi;
}

// Selects `font` into the shared DC for the life of the object.
class Selected {
 public:
  Selected(HDC dc, HFONT font) : dc_(dc), old_(SelectObject(dc, font)) {}
  ~Selected() { SelectObject(dc_, old_); }
  Selected(const Selected&) = delete;
  Selected& operator=(const Selected&) = delete;

 private:
  HDC dc_;
  HGDIOBJ old_;
};

}  // namespace

bool FontCoversText(HFONT font, const std::wstring& text) {
  if (font == nullptr) return false;
  if (text.empty()) return true;
  Gdi& g = TheGdi();
  std::lock_guard<std::mutex> guard(g.lock);
  if (g.dc == nullptr) return false;
  Selected selected(g.dc, font);
  std::vector<WORD> glyphs(text.size());
  if (GetGlyphIndicesW(g.dc, text.data(), static_cast<int>(text.size()), glyphs.data(),
                       GGI_MARK_NONEXISTING_GLYPHS) == GDI_ERROR)
    return false;
  return std::none_of(glyphs.begin(), glyphs.end(), [](WORD g) { return g == 0xFFFF; });
}

struct Font::Impl {
  HFONT font = nullptr;
  int32_t line_height = 0;
  int32_t cell_height = 0;
  int32_t overhang = 0;
};

Font::Font() = default;
Font::~Font() { Destroy(); }
Font::Font(Font&&) noexcept = default;
Font& Font::operator=(Font&& other) noexcept {
  if (this != &other) {
    Destroy();
    impl_ = std::move(other.impl_);
  }
  return *this;
}

bool Font::Create(int32_t height, int32_t weight, const std::string& face) {
  Destroy();
  LOGFONTW lf{};
  // As CreateFont takes them: a positive height is the cell, a negative one
  // the characters' em, 0 the face's default.
  lf.lfHeight = height;
  lf.lfWeight = weight;
  lf.lfCharSet = HANGEUL_CHARSET;
  lf.lfOutPrecision = OUT_DEFAULT_PRECIS;
  lf.lfClipPrecision = CLIP_DEFAULT_PRECIS;
  lf.lfQuality = ANTIALIASED_QUALITY;
  lf.lfPitchAndFamily = DEFAULT_PITCH | FF_DONTCARE;
  // The system's limit: a longer face name is cut (no face has one).
  std::wstring wide = Cp949ToWide(face).substr(0, LF_FACESIZE - 1);
  std::copy(wide.begin(), wide.end(), lf.lfFaceName);
  HFONT font = CreateFontIndirectW(&lf);
  if (font == nullptr) return false;
  if (!FontCoversText(font, kHangulProbe)) {
    DeleteObject(font);
    DebugPrintf("no font draws Korean text (face \"%s\"): install a Korean font "
                "(Gulim; under Wine the Nanum fonts)\n", Cp949ToUtf8(face).c_str());
    SetLastSystemError(kErrorFileNotFound);
    return false;
  }
  TEXTMETRICW tm{};
  {
    Gdi& g = TheGdi();
    std::lock_guard<std::mutex> guard(g.lock);
    Selected selected(g.dc, font);
    GetTextMetricsW(g.dc, &tm);
  }
  impl_ = std::make_unique<Impl>();
  impl_->font = font;
  impl_->cell_height = tm.tmHeight;
  impl_->line_height = tm.tmHeight + tm.tmExternalLeading;
  impl_->overhang = tm.tmOverhang;
  return true;
}

void Font::Destroy() {
  if (impl_ && impl_->font) DeleteObject(impl_->font);
  impl_.reset();
}

bool Font::IsNull() const { return !impl_ || impl_->font == nullptr; }
int32_t Font::LineHeight() const { return IsNull() ? 0 : impl_->line_height; }

Size MeasureText(const Font& font, const std::string& utf8) {
  if (font.IsNull()) return {};
  if (utf8.empty()) return {0, font.impl()->cell_height};
  std::wstring text = Utf8ToWide(utf8);
  Gdi& g = TheGdi();
  std::lock_guard<std::mutex> guard(g.lock);
  Selected selected(g.dc, font.impl()->font);
  SIZE size{};
  if (!GetTextExtentPoint32W(g.dc, text.data(), static_cast<int>(text.size()), &size)) return {};
  return {size.cx, size.cy};
}

bool RenderTextCoverage(const Font& font, const std::string& utf8, TextCoverage* out) {
  *out = {};
  if (font.IsNull() || utf8.empty()) return false;
  std::wstring text = Utf8ToWide(utf8);
  if (text.empty()) return false;
  Gdi& g = TheGdi();
  std::lock_guard<std::mutex> guard(g.lock);
  Selected selected(g.dc, font.impl()->font);
  SIZE size{};
  if (!GetTextExtentPoint32W(g.dc, text.data(), static_cast<int>(text.size()), &size)) return false;
  int32_t width = size.cx + font.impl()->overhang;
  int32_t height = size.cy;
  if (width <= 0 || height <= 0) return false;
  BITMAPINFO bi{};
  bi.bmiHeader.biSize = sizeof bi.bmiHeader;
  bi.bmiHeader.biWidth = width;
  bi.bmiHeader.biHeight = -height;
  bi.bmiHeader.biPlanes = 1;
  bi.bmiHeader.biBitCount = 32;
  bi.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  HBITMAP dib = CreateDIBSection(g.dc, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
  if (dib == nullptr) return false;
  memset(bits, 0, static_cast<size_t>(width) * height * 4);
  HGDIOBJ old = SelectObject(g.dc, dib);
  SetTextColor(g.dc, RGB(255, 255, 255));
  SetBkMode(g.dc, TRANSPARENT);
  SetTextAlign(g.dc, TA_LEFT | TA_TOP | TA_NOUPDATECP);
  BOOL drawn = ExtTextOutW(g.dc, 0, 0, 0, nullptr, text.data(), static_cast<UINT>(text.size()), nullptr);
  GdiFlush();
  if (drawn) {
    out->width = width;
    out->height = height;
    out->alpha.resize(static_cast<size_t>(width) * height);
    const uint32_t* px = static_cast<const uint32_t*>(bits);
    for (size_t i = 0; i < out->alpha.size(); ++i) {
      uint32_t p = px[i];
      // White ink on black: each channel is the coverage; the largest keeps
      // a renderer that tints edges from losing them.
      out->alpha[i] = static_cast<uint8_t>(std::max({(p >> 16) & 0xFF, (p >> 8) & 0xFF, p & 0xFF}));
    }
  }
  SelectObject(g.dc, old);
  DeleteObject(dib);
  return drawn != FALSE;
}

}  // namespace platform
