#include "platform/codepage.h"

#include <iconv.h>

#include <cstring>

namespace platform {

namespace {

// One conversion through iconv; bytes that do not convert become '?' (a
// byte, or from UTF-8 one sequence).
std::string Convert(const char* to, const char* from, const std::string& in) {
  if (in.empty()) return std::string();
  iconv_t cd = iconv_open(to, from);
  if (cd == reinterpret_cast<iconv_t>(-1)) return in;
  std::string out;
  out.resize(in.size() * 4 + 16);
  char* src = const_cast<char*>(in.data());
  size_t src_left = in.size();
  char* dst = out.data();
  size_t dst_left = out.size();
  while (src_left > 0) {
    size_t r = iconv(cd, &src, &src_left, &dst, &dst_left);
    if (r != static_cast<size_t>(-1)) break;
    if (errno == E2BIG) {
      size_t used = dst - out.data();
      out.resize(out.size() * 2);
      dst = out.data() + used;
      dst_left = out.size() - used;
      continue;
    }
    // EILSEQ or EINVAL with the whole rest taken: nothing left to skip
    // (stepping on would wrap the count and read past the text).
    if (src_left == 0) break;
    if (dst_left < 4) {
      size_t used = dst - out.data();
      out.resize(out.size() * 2);
      dst = out.data() + used;
      dst_left = out.size() - used;
    }
    *dst++ = '?';
    dst_left -= 1;
    ++src;
    --src_left;
    while (src_left > 0 && (static_cast<unsigned char>(*src) & 0xC0) == 0x80) {
      ++src;
      --src_left;
    }
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
  }
  iconv_close(cd);
  out.resize(dst - out.data());
  return out;
}

// Code page 949 to UTF-8 one character at a time. glibc's converter takes
// some unassigned pairs ("\xA2\xE8") whole and only then reports them
// invalid, so a bulk conversion cannot tell which bytes were bad: they would
// vanish (and at the end of the text the count of bytes left wrapped and the
// conversion read past it). A byte that does not convert, alone or as a
// lead byte with the next, becomes its Latin-1 character: the name stays
// unique and readable, and the next byte is looked at on its own (as the
// Windows backend does).
std::string Cp949CharsToUtf8(const std::string& in) {
  iconv_t cd = iconv_open("UTF-8", "CP949");
  if (cd == reinterpret_cast<iconv_t>(-1)) return in;
  std::string out;
  out.reserve(in.size() * 2);
  for (size_t i = 0; i < in.size();) {
    unsigned char c = static_cast<unsigned char>(in[i]);
    if (c < 0x80) {
      out.push_back(static_cast<char>(c));
      ++i;
      continue;
    }
    if (i + 1 < in.size()) {
      char pair[2] = {in[i], in[i + 1]};
      char converted[8];
      char* src = pair;
      size_t src_left = 2;
      char* dst = converted;
      size_t dst_left = sizeof(converted);
      iconv(cd, nullptr, nullptr, nullptr, nullptr);
      if (iconv(cd, &src, &src_left, &dst, &dst_left) != static_cast<size_t>(-1) && src_left == 0) {
        out.append(converted, static_cast<size_t>(dst - converted));
        i += 2;
        continue;
      }
    }
    out.push_back(static_cast<char>(0xC0 | (c >> 6)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    ++i;
  }
  iconv_close(cd);
  return out;
}

}  // namespace

std::string Cp949ToUtf8(const std::string& text) {
  if (IsAscii(text)) return text;
  return Cp949CharsToUtf8(text);
}

std::string Utf8ToCp949(const std::string& text) {
  if (IsAscii(text)) return text;
  return Convert("CP949", "UTF-8", text);
}

std::u16string Cp949ToUtf16(const std::string& text) {
  std::string bytes = Convert("UTF-16LE", "UTF-8", Cp949ToUtf8(text));
  std::u16string out(bytes.size() / 2, u'\0');
  for (size_t i = 0; i < out.size(); ++i)
    out[i] = static_cast<char16_t>(static_cast<unsigned char>(bytes[2 * i]) |
                                   (static_cast<unsigned char>(bytes[2 * i + 1]) << 8));
  return out;
}

std::string Utf16ToCp949(const std::u16string& text) {
  std::string bytes(text.size() * 2, '\0');
  for (size_t i = 0; i < text.size(); ++i) {
    bytes[2 * i] = static_cast<char>(text[i] & 0xFF);
    bytes[2 * i + 1] = static_cast<char>(text[i] >> 8);
  }
  bool ascii = true;
  for (char16_t c : text)
    if (c >= 0x80) ascii = false;
  if (ascii) {
    std::string out(text.size(), '\0');
    for (size_t i = 0; i < text.size(); ++i) out[i] = static_cast<char>(text[i]);
    return out;
  }
  return Convert("CP949", "UTF-16LE", bytes);
}

}  // namespace platform
