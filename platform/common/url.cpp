#include "platform/url.h"

#include <cctype>
#include <cstring>
#include <vector>

#include "platform/codepage.h"
#include "platform/error.h"

namespace platform {

namespace {

bool IsUnsafe(unsigned char c) {
  if (c <= 0x20 || c >= 0x7F) return true;
  return strchr("<>\"{}|^`#", c) != nullptr;
}

// Appends `text` escaped: unsafe bytes as %XX; runs of bytes above 0x7F are
// converted from code page 949 to UTF-8 first.
void AppendEscaped(std::string* out, const std::string& text) {
  static const char kHex[] = "0123456789ABCDEF";
  size_t i = 0;
  while (i < text.size()) {
    unsigned char c = static_cast<unsigned char>(text[i]);
    if (c >= 0x80) {
      size_t j = i;
      while (j < text.size() && static_cast<unsigned char>(text[j]) >= 0x80) ++j;
      for (unsigned char u : Cp949ToUtf8(text.substr(i, j - i))) {
        *out += '%';
        *out += kHex[u >> 4];
        *out += kHex[u & 15];
      }
      i = j;
      continue;
    }
    if (IsUnsafe(c)) {
      *out += '%';
      *out += kHex[c >> 4];
      *out += kHex[c & 15];
    } else {
      *out += static_cast<char>(c);
    }
    ++i;
  }
}

// Resolves "." and ".." segments of an absolute path ('/'-separated).
std::string ResolveDots(const std::string& path) {
  std::vector<std::string> segments;
  size_t start = 1;  // path[0] == '/'
  bool trailing_slash = false;
  while (start <= path.size()) {
    size_t end = path.find('/', start);
    if (end == std::string::npos) end = path.size();
    std::string seg = path.substr(start, end - start);
    bool last = end == path.size();
    if (seg == ".") {
      trailing_slash = last;
    } else if (seg == "..") {
      if (!segments.empty()) segments.pop_back();
      trailing_slash = last;
    } else {
      segments.push_back(seg);
      trailing_slash = false;
    }
    start = end + 1;
  }
  std::string out;
  for (const std::string& s : segments) out += "/" + s;
  if (out.empty() || trailing_slash) out += "/";
  return out;
}

}  // namespace

bool CanonicalizeUrl(const char* url, char* out, size_t out_size) {
  std::string result = CanonicalizeUrl(std::string(url ? url : ""));
  if (result.empty()) {
    SetLastSystemError(kErrorInternetInvalidUrl);
    return false;
  }
  if (result.size() + 1 > out_size) {
    SetLastSystemError(kErrorInsufficientBuffer);
    return false;
  }
  memcpy(out, result.c_str(), result.size() + 1);
  return true;
}

std::string CanonicalizeUrl(const std::string& url) {
  size_t sep = url.find("://");
  if (sep == std::string::npos || sep == 0 || !isalpha(static_cast<unsigned char>(url[0])))
    return std::string();
  for (size_t i = 0; i < sep; ++i) {
    unsigned char c = static_cast<unsigned char>(url[i]);
    if (!isalnum(c) && c != '+' && c != '-' && c != '.') return std::string();
  }
  std::string out = ToLowerAscii(url.substr(0, sep));
  out.append("://");
  size_t auth_start = sep + 3;
  size_t auth_end = url.find_first_of("/\\?", auth_start);
  if (auth_end == std::string::npos) auth_end = url.size();
  std::string authority = url.substr(auth_start, auth_end - auth_start);
  // Only the host is case-insensitive; user information keeps its case.
  size_t at = authority.rfind('@');
  std::string user = at == std::string::npos ? std::string() : authority.substr(0, at + 1);
  std::string host = at == std::string::npos ? authority : authority.substr(at + 1);
  AppendEscaped(&out, user);
  AppendEscaped(&out, ToLowerAscii(host));

  std::string rest = url.substr(auth_end);
  size_t query = rest.find('?');
  std::string path = rest.substr(0, query);
  std::string tail = query == std::string::npos ? std::string() : rest.substr(query);
  for (char& c : path)
    if (c == '\\') c = '/';
  if (path.empty()) path = "/";
  AppendEscaped(&out, ResolveDots(path));
  AppendEscaped(&out, tail);
  return out;
}

}  // namespace platform
