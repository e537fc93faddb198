// What the GDI text renderer checks of a font (Windows backend only).
#pragma once
#include <windows.h>

#include <string>

namespace platform {

// Whether `font` has a glyph of its own for every character of `text`.
bool FontCoversText(HFONT font, const std::wstring& text);

}  // namespace platform
