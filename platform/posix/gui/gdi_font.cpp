// Fonts through SDL2_ttf. Missing Windows faces are stood in for by the
// Nanum fonts from Debian; every call into the library is serialised because
// FreeType's library object is shared.
#include <SDL_ttf.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <mutex>

#include "platform/codepage.h"
#include "platform/common/gui/font_render.h"

namespace platform {

namespace {

std::mutex& TtfLock() {
  static std::mutex lock;
  return lock;
}

bool EnsureTtf() {
  static bool ok = TTF_Init() == 0;
  return ok;
}

bool FileExists(const std::string& path) {
  if (FILE* f = fopen(path.c_str(), "rb")) {
    fclose(f);
    return true;
  }
  return false;
}

// The font file standing in for `face`: serif faces get the Myeongjo
// family, everything else (굴림, 돋움, MS Shell Dlg, ...) Nanum Gothic.
std::string FontFileFor(const std::string& face_utf8, bool bold) {
  std::vector<std::string> dirs;
  if (const char* dir = getenv("KIVRO_FONT_DIR")) dirs.push_back(dir);
  dirs.push_back("/usr/share/fonts/truetype/nanum");
  dirs.push_back("/usr/share/fonts/truetype");
  bool serif = face_utf8.find("바탕") != std::string::npos ||
               face_utf8.find("궁서") != std::string::npos ||
               face_utf8.find("Batang") != std::string::npos ||
               face_utf8.find("Gungsuh") != std::string::npos;
  std::vector<std::string> names;
  if (!face_utf8.empty() && face_utf8.find('/') == std::string::npos) {
    if (bold) names.push_back(face_utf8 + "Bold.ttf");
    names.push_back(face_utf8 + ".ttf");
  }
  std::string family = serif ? "NanumMyeongjo" : "NanumGothic";
  if (bold) names.push_back(family + "Bold.ttf");
  names.push_back(family + ".ttf");
  names.push_back("NanumGothic.ttf");
  for (const std::string& name : names)
    for (const std::string& dir : dirs)
      if (FileExists(dir + "/" + name)) return dir + "/" + name;
  return {};
}

}  // namespace

struct Font::Impl {
  TTF_Font* font = nullptr;
  int32_t line_height = 0;
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
  std::lock_guard<std::mutex> guard(TtfLock());
  if (!EnsureTtf()) return false;
  bool bold = weight >= 600;
  std::string file = FontFileFor(Cp949ToUtf8(face), bold);
  if (file.empty()) return false;
  // Height 0 means the default size; a positive height is the cell height
  // (ascent + descent), so the em size is scaled down to fit it.
  int32_t pixels = height == 0 ? 12 : (height < 0 ? -height : height);
  TTF_Font* font = TTF_OpenFont(file.c_str(), pixels);
  if (font == nullptr) return false;
  if (height > 0) {
    int cell = TTF_FontHeight(font);
    if (cell > pixels) {
      int em = std::max(1, pixels * pixels / cell);
      TTF_Font* smaller = TTF_OpenFont(file.c_str(), em);
      if (smaller) {
        TTF_CloseFont(font);
        font = smaller;
      }
    }
  }
  if (bold && file.find("Bold") == std::string::npos) TTF_SetFontStyle(font, TTF_STYLE_BOLD);
  impl_ = std::make_unique<Impl>();
  impl_->font = font;
  impl_->line_height = std::max(TTF_FontLineSkip(font), TTF_FontHeight(font));
  return true;
}

void Font::Destroy() {
  if (impl_ && impl_->font) {
    std::lock_guard<std::mutex> guard(TtfLock());
    TTF_CloseFont(impl_->font);
  }
  impl_.reset();
}

bool Font::IsNull() const { return !impl_ || impl_->font == nullptr; }
int32_t Font::LineHeight() const { return IsNull() ? 0 : impl_->line_height; }

Size MeasureText(const Font& font, const std::string& utf8) {
  if (font.IsNull()) return {};
  std::lock_guard<std::mutex> guard(TtfLock());
  int w = 0, h = 0;
  if (utf8.empty()) return {0, TTF_FontHeight(font.impl()->font)};
  if (TTF_SizeUTF8(font.impl()->font, utf8.c_str(), &w, &h) != 0) return {};
  return {w, h};
}

bool RenderTextCoverage(const Font& font, const std::string& utf8, TextCoverage* out) {
  *out = {};
  if (font.IsNull() || utf8.empty()) return false;
  std::lock_guard<std::mutex> guard(TtfLock());
  SDL_Surface* s =
      TTF_RenderUTF8_Blended(font.impl()->font, utf8.c_str(), SDL_Color{255, 255, 255, 255});
  if (s == nullptr) return false;
  SDL_Surface* argb = SDL_ConvertSurfaceFormat(s, SDL_PIXELFORMAT_ARGB8888, 0);
  SDL_FreeSurface(s);
  if (argb == nullptr) return false;
  out->width = argb->w;
  out->height = argb->h;
  out->alpha.resize(static_cast<size_t>(argb->w) * argb->h);
  SDL_LockSurface(argb);
  for (int y = 0; y < argb->h; ++y) {
    const uint32_t* row = reinterpret_cast<const uint32_t*>(
        static_cast<const uint8_t*>(argb->pixels) + y * argb->pitch);
    for (int x = 0; x < argb->w; ++x)
      out->alpha[static_cast<size_t>(y) * argb->w + x] = row[x] >> 24;
  }
  SDL_UnlockSurface(argb);
  SDL_FreeSurface(argb);
  return true;
}

}  // namespace platform
