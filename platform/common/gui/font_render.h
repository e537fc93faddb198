// Text rendering behind Font: glyph coverage for a UTF-8 line.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "platform/gdi.h"

namespace platform {

struct TextCoverage {
  int32_t width = 0;
  int32_t height = 0;
  std::vector<uint8_t> alpha;  // width * height, 0..255
};

// Renders one line (no control characters) in `font`. False when the font
// is null or the text empty (then only the size is meaningful).
bool RenderTextCoverage(const Font& font, const std::string& utf8, TextCoverage* out);
Size MeasureText(const Font& font, const std::string& utf8);

}  // namespace platform
