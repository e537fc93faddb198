// Conversions between the system's 8-bit texts (code page 949, Korean ANSI)
// and UTF-8 / UTF-16. Bytes that do not convert are kept as they are (to
// UTF-8) or become '?' (from UTF-8), so a name never disappears.
#pragma once
#include <string>

namespace platform {

std::string Cp949ToUtf8(const std::string& text);
std::string Utf8ToCp949(const std::string& text);
// The same for names, where a '?' could make two names one: false (and
// `out` untouched) when `text` is not valid UTF-8 or holds a character that
// code page 949 cannot represent.
bool Utf8ToCp949Exact(const std::string& text, std::string* out);
std::u16string Cp949ToUtf16(const std::string& text);
std::string Utf16ToCp949(const std::u16string& text);

// True when every byte is below 0x80 (then all encodings agree).
bool IsAscii(const std::string& text);

// ASCII-only case folding, as the system compares file and entity names.
// Double-byte characters (code page 949) compare as they are.
int CompareNoCase(const char* a, const char* b);
bool EqualsNoCase(const std::string& a, const std::string& b);
std::string ToLowerAscii(std::string text);

}  // namespace platform
