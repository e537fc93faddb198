#include "platform/codepage.h"

#include <iconv.h>

#include <cstring>

namespace platform {

namespace {

// One conversion through iconv. Bytes that do not convert are handled by
// `on_invalid`: kept (to UTF-8: each becomes its Latin-1 character, so the
// name stays unique and readable) or replaced by '?'.
std::string Convert(const char* to, const char* from, const std::string& in, bool keep_invalid) {
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
    // EILSEQ or EINVAL: skip one byte (or, from UTF-8, one sequence).
    if (dst_left < 4) {
      size_t used = dst - out.data();
      out.resize(out.size() * 2);
      dst = out.data() + used;
      dst_left = out.size() - used;
    }
    unsigned char bad = static_cast<unsigned char>(*src);
    if (keep_invalid) {
      // Latin-1 code point of the byte, encoded as UTF-8.
      *dst++ = static_cast<char>(0xC0 | (bad >> 6));
      *dst++ = static_cast<char>(0x80 | (bad & 0x3F));
      dst_left -= 2;
    } else {
      *dst++ = '?';
      dst_left -= 1;
    }
    ++src;
    --src_left;
    if (!keep_invalid) {
      while (src_left > 0 && (static_cast<unsigned char>(*src) & 0xC0) == 0x80) {
        ++src;
        --src_left;
      }
    }
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
  }
  iconv_close(cd);
  out.resize(dst - out.data());
  return out;
}

}  // namespace

std::string Cp949ToUtf8(const std::string& text) {
  if (IsAscii(text)) return text;
  return Convert("UTF-8", "CP949", text, true);
}

std::string Utf8ToCp949(const std::string& text) {
  if (IsAscii(text)) return text;
  return Convert("CP949", "UTF-8", text, false);
}

std::u16string Cp949ToUtf16(const std::string& text) {
  std::string bytes = Convert("UTF-16LE", "UTF-8", Cp949ToUtf8(text), false);
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
  return Convert("CP949", "UTF-16LE", bytes, false);
}

}  // namespace platform
