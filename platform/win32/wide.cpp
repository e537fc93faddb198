#include "platform/win32/wide.h"

#include <windows.h>

#include "platform/codepage.h"

namespace platform {

namespace {

constexpr UINT kKoreanCodePage = 949;
// CreateDirectoryW's limit is MAX_PATH less room for an 8.3 name; longer
// paths need the "\\?\" form.
constexpr size_t kClassicPathLimit = MAX_PATH - 12;

std::wstring MultiToWide(UINT code_page, DWORD flags, const char* text, int length) {
  int n = MultiByteToWideChar(code_page, flags, text, length, nullptr, 0);
  if (n <= 0) return std::wstring();
  std::wstring out(static_cast<size_t>(n), L'\0');
  MultiByteToWideChar(code_page, flags, text, length, out.data(), n);
  return out;
}

std::string WideToMulti(UINT code_page, const std::wstring& text) {
  if (text.empty()) return std::string();
  int length = static_cast<int>(text.size());
  // UTF-8 takes no default character; for code page 949 a character without
  // a form there becomes '?'.
  const char* fallback = code_page == CP_UTF8 ? nullptr : "?";
  int n = WideCharToMultiByte(code_page, 0, text.data(), length, nullptr, 0, fallback, nullptr);
  if (n <= 0) return std::string();
  std::string out(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(code_page, 0, text.data(), length, out.data(), n, fallback, nullptr);
  return out;
}

bool IsLeadByte(unsigned char c) { return c >= 0x81 && c <= 0xFE; }

}  // namespace

std::wstring Cp949ToWide(const std::string& text) {
  if (text.empty()) return std::wstring();
  int length = static_cast<int>(text.size());
  std::wstring whole = MultiToWide(kKoreanCodePage, MB_ERR_INVALID_CHARS, text.data(), length);
  if (!whole.empty()) return whole;
  // Some bytes do not convert: each character on its own, and a byte that
  // is no character becomes its Latin-1 character, so a name never loses it.
  std::wstring out;
  size_t i = 0;
  while (i < text.size()) {
    unsigned char c = static_cast<unsigned char>(text[i]);
    size_t width = IsLeadByte(c) && i + 1 < text.size() ? 2 : 1;
    std::wstring one = c < 0x80 ? std::wstring(1, static_cast<wchar_t>(c))
                                : MultiToWide(kKoreanCodePage, MB_ERR_INVALID_CHARS,
                                              text.data() + i, static_cast<int>(width));
    if (one.empty()) {
      out += static_cast<wchar_t>(c);
      i += 1;
    } else {
      out += one;
      i += width;
    }
  }
  return out;
}

std::string WideToCp949(const std::wstring& text) {
  // Code page 949 has nothing outside the basic plane: a surrogate pair is
  // one character without a form there, so one '?'.
  std::wstring basic;
  basic.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    wchar_t c = text[i];
    if (c >= 0xD800 && c <= 0xDFFF) {
      if (c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) ++i;
      c = L'?';
    }
    basic += c;
  }
  return WideToMulti(kKoreanCodePage, basic);
}

std::wstring Utf8ToWide(const std::string& text) {
  if (text.empty()) return std::wstring();
  return MultiToWide(CP_UTF8, 0, text.data(), static_cast<int>(text.size()));
}

std::string WideToUtf8(const std::wstring& text) { return WideToMulti(CP_UTF8, text); }

std::wstring FullWidePath(const std::wstring& path) {
  if (path.empty()) return path;
  DWORD n = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
  if (n == 0) return path;
  std::wstring full(n, L'\0');
  n = GetFullPathNameW(path.c_str(), n, full.data(), nullptr);
  if (n == 0 || n >= full.size()) return path;
  full.resize(n);
  return full;
}

std::wstring WidePath(const std::string& path) {
  std::wstring wide = Cp949ToWide(path);
  if (wide.compare(0, 4, L"\\\\?\\") == 0) return wide;  // already in the long form
  for (wchar_t& c : wide)
    if (c == L'/') c = L'\\';
  if (wide.size() < kClassicPathLimit) return wide;
  // The long form takes every character literally: resolve "." and ".."
  // and the current folder first.
  return LongWidePath(FullWidePath(wide));
}

std::wstring LongWidePath(const std::wstring& full) {
  if (full.size() < kClassicPathLimit || full.compare(0, 4, L"\\\\?\\") == 0) return full;
  if (full.compare(0, 2, L"\\\\") == 0) return L"\\\\?\\UNC\\" + full.substr(2);
  return L"\\\\?\\" + full;
}

}  // namespace platform
