#include "platform/codepage.h"

#include "platform/win32/wide.h"

namespace platform {

namespace {
std::u16string ToU16(const std::wstring& w) { return std::u16string(w.begin(), w.end()); }
std::wstring FromU16(const std::u16string& u) { return std::wstring(u.begin(), u.end()); }
}  // namespace

std::string Cp949ToUtf8(const std::string& text) {
  if (IsAscii(text)) return text;
  return WideToUtf8(Cp949ToWide(text));
}

std::string Utf8ToCp949(const std::string& text) {
  if (IsAscii(text)) return text;
  return WideToCp949(Utf8ToWide(text));
}

std::u16string Cp949ToUtf16(const std::string& text) { return ToU16(Cp949ToWide(text)); }

std::string Utf16ToCp949(const std::u16string& text) { return WideToCp949(FromU16(text)); }

}  // namespace platform
