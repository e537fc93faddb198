#include "platform/internet_parse.h"

#include <cstdlib>
#include <cstring>

#include "platform/codepage.h"

namespace platform {

namespace {

char Lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool EqualNoCase(const std::string& a, const char* b) {
  size_t n = strlen(b);
  if (a.size() != n) return false;
  for (size_t i = 0; i < n; ++i)
    if (Lower(a[i]) != Lower(b[i])) return false;
  return true;
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::string Trim(const std::string& s) {
  size_t b = 0, e = s.size();
  while (b < e && (s[b] == ' ' || s[b] == '\t')) ++b;
  while (e > b && (s[e - 1] == ' ' || s[e - 1] == '\t')) --e;
  return s.substr(b, e - b);
}

// Token characters of a header name.
bool IsTokenChar(unsigned char c) {
  if (c <= 0x20 || c >= 0x7F) return false;
  return strchr("()<>@,;:\\\"/[]?={}", c) == nullptr;
}

// Decimal digits only, no overflow of 64 bits.
bool ParseDecimal(const std::string& text, uint64_t* value) {
  if (text.empty() || text.size() > 20) return false;
  uint64_t v = 0;
  for (char c : text) {
    if (!IsDigit(c)) return false;
    uint64_t d = static_cast<uint64_t>(c - '0');
    if (v > (UINT64_MAX - d) / 10) return false;
    v = v * 10 + d;
  }
  *value = v;
  return true;
}

bool IsValidUtf8(const std::string& s) {
  size_t i = 0;
  while (i < s.size()) {
    unsigned char c = static_cast<unsigned char>(s[i]);
    size_t n;
    if (c < 0x80) n = 0;
    else if (c >= 0xC2 && c <= 0xDF) n = 1;
    else if (c >= 0xE0 && c <= 0xEF) n = 2;
    else if (c >= 0xF0 && c <= 0xF4) n = 3;
    else return false;
    if (n > 0 && i + n >= s.size()) return false;
    for (size_t k = 1; k <= n; ++k)
      if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80) return false;
    i += n + 1;
  }
  return true;
}


// "http://host:port/..." or "host:port" -> host, port.
bool ParseProxyValue(const std::string& value, std::string* host, uint16_t* port) {
  std::string v = Trim(value);
  size_t scheme = v.find("://");
  if (scheme != std::string::npos) v = v.substr(scheme + 3);
  size_t slash = v.find('/');
  if (slash != std::string::npos) v = v.substr(0, slash);
  size_t at = v.rfind('@');
  if (at != std::string::npos) v = v.substr(at + 1);  // proxy credentials are not supported
  if (v.empty()) return false;
  std::string h = v;
  std::string p;
  if (v[0] == '[') {
    size_t close = v.find(']');
    if (close == std::string::npos) return false;
    h = v.substr(1, close - 1);
    if (close + 1 < v.size()) {
      if (v[close + 1] != ':') return false;
      p = v.substr(close + 2);
    }
  } else {
    size_t colon = v.rfind(':');
    if (colon != std::string::npos) {
      h = v.substr(0, colon);
      p = v.substr(colon + 1);
    }
  }
  uint64_t n = 80;  // a proxy named without a port is an HTTP server on 80
  if (!p.empty() && (!ParseDecimal(p, &n) || n == 0 || n > 65535)) return false;
  if (h.empty()) return false;
  *host = h;
  *port = static_cast<uint16_t>(n);
  return true;
}

}  // namespace

const std::string* HttpResponseHead::Find(const char* name) const {
  for (const HttpHeader& h : headers)
    if (EqualNoCase(h.name, name)) return &h.value;
  return nullptr;
}

bool HttpResponseHead::HasToken(const char* name, const char* token) const {
  for (const HttpHeader& h : headers) {
    if (!EqualNoCase(h.name, name)) continue;
    size_t start = 0;
    while (start <= h.value.size()) {
      size_t comma = h.value.find(',', start);
      if (comma == std::string::npos) comma = h.value.size();
      if (EqualNoCase(Trim(h.value.substr(start, comma - start)), token)) return true;
      start = comma + 1;
    }
  }
  return false;
}

ParseStatus ParseHttpResponseHead(const char* data, size_t size, HttpResponseHead* head,
                                  size_t* head_length) {
  size_t limit = size < kMaxHttpHeadBytes ? size : kMaxHttpHeadBytes;
  // Split into lines up to the blank line.
  std::vector<std::pair<size_t, size_t>> lines;  // start, length without line end
  size_t pos = 0;
  size_t end = 0;
  bool found = false;
  while (pos < limit) {
    const void* nl = memchr(data + pos, '\n', limit - pos);
    if (nl == nullptr) break;
    size_t lf = static_cast<size_t>(static_cast<const char*>(nl) - data);
    size_t len = lf - pos;
    if (len > 0 && data[lf - 1] == '\r') --len;
    if (len == 0) {
      found = true;
      end = lf + 1;
      break;
    }
    lines.emplace_back(pos, len);
    if (lines.size() > kMaxHttpHeaderLines + 1) return ParseStatus::kInvalid;
    pos = lf + 1;
  }
  if (!found) return size >= kMaxHttpHeadBytes ? ParseStatus::kInvalid : ParseStatus::kIncomplete;
  if (lines.empty()) return ParseStatus::kInvalid;

  HttpResponseHead h;
  // Status line: HTTP/d.d SP ddd [SP reason]
  std::string status(data + lines[0].first, lines[0].second);
  if (status.size() < 12 || status.compare(0, 5, "HTTP/") != 0 || !IsDigit(status[5]) ||
      status[6] != '.' || !IsDigit(status[7]) || status[8] != ' ' || !IsDigit(status[9]) ||
      !IsDigit(status[10]) || !IsDigit(status[11]) || (status.size() > 12 && status[12] != ' '))
    return ParseStatus::kInvalid;
  h.version_major = status[5] - '0';
  h.version_minor = status[7] - '0';
  h.status = static_cast<uint32_t>((status[9] - '0') * 100 + (status[10] - '0') * 10 +
                                   (status[11] - '0'));
  if (h.status < 100) return ParseStatus::kInvalid;
  for (char c : status)
    if (c == '\r' || c == '\0') return ParseStatus::kInvalid;
  h.status_line = status;

  for (size_t i = 1; i < lines.size(); ++i) {
    const char* line = data + lines[i].first;
    size_t len = lines[i].second;
    // Folded continuation lines are obsolete and refused.
    if (line[0] == ' ' || line[0] == '\t') return ParseStatus::kInvalid;
    const void* colon = memchr(line, ':', len);
    if (colon == nullptr) return ParseStatus::kInvalid;
    size_t name_len = static_cast<size_t>(static_cast<const char*>(colon) - line);
    if (name_len == 0) return ParseStatus::kInvalid;
    for (size_t k = 0; k < name_len; ++k)
      if (!IsTokenChar(static_cast<unsigned char>(line[k]))) return ParseStatus::kInvalid;
    for (size_t k = name_len + 1; k < len; ++k)
      if (line[k] == '\r' || line[k] == '\0') return ParseStatus::kInvalid;
    HttpHeader header;
    header.name.assign(line, name_len);
    header.value = Trim(std::string(line + name_len + 1, len - name_len - 1));
    h.headers.push_back(std::move(header));
  }
  *head = std::move(h);
  *head_length = end;
  return ParseStatus::kComplete;
}

bool ParseContentLength(const std::string& text, uint64_t* length) {
  return ParseDecimal(Trim(text), length);
}

bool ParseContentRange(const std::string& text, uint64_t* first, uint64_t* last) {
  std::string t = Trim(text);
  if (t.size() < 6 || !EqualNoCase(t.substr(0, 6), "bytes ")) return false;
  t = Trim(t.substr(6));
  size_t dash = t.find('-');
  size_t slash = t.find('/');
  if (dash == std::string::npos || slash == std::string::npos || slash < dash) return false;
  uint64_t f = 0, l = 0, total = 0;
  if (!ParseDecimal(t.substr(0, dash), &f) || !ParseDecimal(t.substr(dash + 1, slash - dash - 1), &l))
    return false;
  std::string total_text = t.substr(slash + 1);
  if (total_text != "*" && (!ParseDecimal(total_text, &total) || l >= total)) return false;
  if (l < f) return false;
  *first = f;
  *last = l;
  return true;
}

bool DetermineBodyFraming(const HttpResponseHead& head, bool head_request, BodyFraming* framing) {
  BodyFraming f;
  if (head_request || head.status < 200 || head.status == 204 || head.status == 304) {
    *framing = f;
    return true;
  }
  const std::string* te = head.Find("Transfer-Encoding");
  if (te != nullptr) {
    // The last coding decides; without chunked the body runs to the close.
    std::string v = Trim(*te);
    size_t comma = v.rfind(',');
    std::string last = Trim(comma == std::string::npos ? v : v.substr(comma + 1));
    f.kind = EqualNoCase(last, "chunked") ? BodyFraming::kChunked : BodyFraming::kUntilClose;
    *framing = f;
    return true;
  }
  bool have = false;
  uint64_t length = 0;
  for (const HttpHeader& h : head.headers) {
    if (!EqualNoCase(h.name, "Content-Length")) continue;
    size_t start = 0;
    while (start <= h.value.size()) {
      size_t comma = h.value.find(',', start);
      if (comma == std::string::npos) comma = h.value.size();
      uint64_t v = 0;
      if (!ParseDecimal(Trim(h.value.substr(start, comma - start)), &v)) return false;
      if (have && v != length) return false;  // differing lengths: the body cannot be trusted
      have = true;
      length = v;
      start = comma + 1;
    }
  }
  if (have) {
    f.kind = BodyFraming::kLength;
    f.length = length;
  } else {
    f.kind = BodyFraming::kUntilClose;
  }
  *framing = f;
  return true;
}

bool ChunkedDecoder::Decode(const char* in, size_t in_size, size_t* in_used, char* out,
                            size_t out_size, size_t* out_used) {
  size_t i = 0, o = 0;
  constexpr size_t kMaxTrailer = 16 * 1024;
  while (i < in_size && state_ != State::kDone) {
    char c = in[i];
    switch (state_) {
      case State::kSize: {
        int h = HexValue(c);
        if (h >= 0) {
          if (++size_digits_ > 15) return false;  // beyond any sane chunk
          remaining_ = remaining_ * 16 + static_cast<uint64_t>(h);
          ++i;
        } else if (size_digits_ == 0) {
          return false;
        } else if (c == ';' || c == ' ' || c == '\t') {
          state_ = State::kExtension;
          ++i;
        } else if (c == '\r') {
          state_ = State::kSizeLf;
          ++i;
        } else if (c == '\n') {
          state_ = State::kSizeLf;  // a bare line feed ends the line too
        } else {
          return false;
        }
        break;
      }
      case State::kExtension:
        if (c == '\n') {
          state_ = State::kSizeLf;
        } else {
          ++i;
        }
        break;
      case State::kSizeLf:
        if (c != '\n') return false;
        ++i;
        size_digits_ = 0;
        state_ = remaining_ == 0 ? State::kTrailer : State::kData;
        trailer_line_ = 0;
        break;
      case State::kData: {
        if (o == out_size) {
          *in_used = i;
          *out_used = o;
          return true;
        }
        size_t n = in_size - i;
        if (n > out_size - o) n = out_size - o;
        if (n > remaining_) n = static_cast<size_t>(remaining_);
        memcpy(out + o, in + i, n);
        i += n;
        o += n;
        remaining_ -= n;
        if (remaining_ == 0) state_ = State::kDataCr;
        break;
      }
      case State::kDataCr:
        if (c == '\r') {
          state_ = State::kDataLf;
          ++i;
        } else if (c == '\n') {
          state_ = State::kDataLf;
        } else {
          return false;
        }
        break;
      case State::kDataLf:
        if (c != '\n') return false;
        ++i;
        state_ = State::kSize;
        break;
      case State::kTrailer:
        ++i;
        if (c == '\n') {
          if (trailer_line_ == 0) state_ = State::kDone;
          trailer_line_ = 0;
        } else if (c != '\r') {
          ++trailer_line_;
          if (++trailer_total_ > kMaxTrailer) return false;
        }
        break;
      case State::kTrailerLf:
      case State::kDone:
        break;
    }
  }
  *in_used = i;
  *out_used = o;
  return true;
}

ParseStatus ParseFtpReply(const char* data, size_t size, FtpReply* reply, size_t* used) {
  size_t pos = 0;
  uint32_t code = 0;
  bool multi = false;
  std::string text;
  bool first = true;
  for (;;) {
    if (pos >= kMaxFtpReplyBytes) return ParseStatus::kInvalid;
    const void* nl = pos < size ? memchr(data + pos, '\n', size - pos) : nullptr;
    if (nl == nullptr)
      return size >= kMaxFtpReplyBytes ? ParseStatus::kInvalid : ParseStatus::kIncomplete;
    size_t lf = static_cast<size_t>(static_cast<const char*>(nl) - data);
    size_t len = lf - pos;
    if (len > 0 && data[lf - 1] == '\r') --len;
    const char* line = data + pos;
    for (size_t k = 0; k < len; ++k)
      if (line[k] == '\0' || line[k] == '\r') return ParseStatus::kInvalid;
    bool starts_with_code = len >= 3 && IsDigit(line[0]) && IsDigit(line[1]) && IsDigit(line[2]);
    bool is_first_line = first;
    if (first) {
      if (!starts_with_code) return ParseStatus::kInvalid;
      code = static_cast<uint32_t>((line[0] - '0') * 100 + (line[1] - '0') * 10 + (line[2] - '0'));
      if (code < 100 || code > 599) return ParseStatus::kInvalid;
      if (len > 3 && line[3] != ' ' && line[3] != '-') return ParseStatus::kInvalid;
      multi = len > 3 && line[3] == '-';
      first = false;
    }
    if (pos + len + 2 > kMaxFtpReplyBytes) return ParseStatus::kInvalid;
    text.append(line, len);
    text.append("\r\n");
    pos = lf + 1;
    bool last = !multi;
    if (multi && !is_first_line && starts_with_code) {
      // The reply ends at a line with the same code and a blank (or nothing).
      uint32_t c = static_cast<uint32_t>((line[0] - '0') * 100 + (line[1] - '0') * 10 +
                                         (line[2] - '0'));
      if (c == code && (len == 3 || line[3] == ' ')) last = true;
    }
    if (last) break;
  }
  reply->code = code;
  reply->text = std::move(text);
  *used = pos;
  return ParseStatus::kComplete;
}

bool ParsePasvReply(const std::string& text, uint16_t* port) {
  if (text.size() < 4) return false;
  size_t i = text.find('(', 3);
  if (i == std::string::npos) {
    i = 3;
    while (i < text.size() && !IsDigit(text[i])) ++i;
  } else {
    ++i;
  }
  uint32_t numbers[6];
  for (int n = 0; n < 6; ++n) {
    while (i < text.size() && text[i] == ' ') ++i;
    if (i >= text.size() || !IsDigit(text[i])) return false;
    uint32_t v = 0;
    int digits = 0;
    while (i < text.size() && IsDigit(text[i])) {
      v = v * 10 + static_cast<uint32_t>(text[i] - '0');
      if (++digits > 3) return false;
      ++i;
    }
    if (v > 255) return false;
    numbers[n] = v;
    while (i < text.size() && text[i] == ' ') ++i;
    if (n < 5) {
      if (i >= text.size() || text[i] != ',') return false;
      ++i;
    }
  }
  uint32_t p = numbers[4] * 256 + numbers[5];
  if (p == 0) return false;
  *port = static_cast<uint16_t>(p);
  return true;
}

bool ParseEpsvReply(const std::string& text, uint16_t* port) {
  size_t open = text.find('(');
  if (open == std::string::npos || open + 5 > text.size()) return false;
  char d = text[open + 1];
  if (d < 33 || d > 126 || IsDigit(d)) return false;
  if (text[open + 2] != d || text[open + 3] != d) return false;
  size_t i = open + 4;
  uint32_t v = 0;
  int digits = 0;
  while (i < text.size() && IsDigit(text[i])) {
    v = v * 10 + static_cast<uint32_t>(text[i] - '0');
    if (++digits > 5) return false;
    ++i;
  }
  if (digits == 0 || i >= text.size() || text[i] != d || v == 0 || v > 65535) return false;
  *port = static_cast<uint16_t>(v);
  return true;
}

bool ParseSizeReply(const std::string& text, uint64_t* size) {
  if (text.size() < 5) return false;
  size_t i = 4;
  while (i < text.size() && text[i] == ' ') ++i;
  size_t start = i;
  while (i < text.size() && IsDigit(text[i])) ++i;
  return ParseDecimal(text.substr(start, i - start), size);
}

bool SplitUrl(const std::string& url, UrlParts* parts) {
  size_t sep = url.find("://");
  if (sep == std::string::npos || sep == 0) return false;
  UrlParts p;
  for (size_t i = 0; i < sep; ++i) {
    char c = url[i];
    if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || IsDigit(c) || c == '+' ||
          c == '-' || c == '.'))
      return false;
    p.scheme.push_back(Lower(c));
  }
  size_t start = sep + 3;
  size_t end = url.find_first_of("/?#", start);
  if (end == std::string::npos) end = url.size();
  std::string authority = url.substr(start, end - start);
  size_t at = authority.rfind('@');
  if (at != std::string::npos) {
    std::string info = authority.substr(0, at);
    authority = authority.substr(at + 1);
    size_t colon = info.find(':');
    p.user = info.substr(0, colon);
    if (colon != std::string::npos) p.password = info.substr(colon + 1);
  }
  std::string port_text;
  if (!authority.empty() && authority[0] == '[') {
    size_t close = authority.find(']');
    if (close == std::string::npos) return false;
    p.host = authority.substr(1, close - 1);
    if (close + 1 < authority.size()) {
      if (authority[close + 1] != ':') return false;
      port_text = authority.substr(close + 2);
    }
  } else {
    size_t colon = authority.find(':');
    p.host = authority.substr(0, colon);
    if (colon != std::string::npos) port_text = authority.substr(colon + 1);
  }
  if (p.host.empty()) return false;
  for (char c : p.host)
    if (static_cast<unsigned char>(c) <= 0x20 || c == '/' || c == '\\') return false;
  uint64_t port = 0;
  if (!port_text.empty()) {
    if (!ParseDecimal(port_text, &port) || port == 0 || port > 65535) return false;
  } else if (p.scheme == "http") {
    port = 80;
  } else if (p.scheme == "https") {
    port = 443;
  } else if (p.scheme == "ftp") {
    port = 21;
  }
  p.port = static_cast<uint16_t>(port);
  if (end == url.size()) {
    p.path = "/";
  } else if (url[end] == '/') {
    p.path = url.substr(end);
  } else {
    p.path = "/" + url.substr(end);
  }
  size_t hash = p.path.find('#');
  if (hash != std::string::npos) p.path.resize(hash);  // fragments never travel
  *parts = std::move(p);
  return true;
}

std::string ResolveLocation(const UrlParts& base, const std::string& location) {
  std::string loc = Trim(location);
  if (loc.find("://") != std::string::npos) {
    size_t colon = loc.find("://");
    bool scheme_ok = colon > 0;
    for (size_t i = 0; i < colon; ++i)
      if (!IsTokenChar(static_cast<unsigned char>(loc[i])) || loc[i] == '/') scheme_ok = false;
    if (scheme_ok) return loc;
  }
  std::string host = base.host.find(':') != std::string::npos ? "[" + base.host + "]" : base.host;
  if (loc.rfind("//", 0) == 0) return base.scheme + ":" + loc;
  std::string origin = base.scheme + "://" + host + ":" + std::to_string(base.port);
  if (!loc.empty() && loc[0] == '/') return origin + loc;
  std::string dir = base.path.substr(0, base.path.find('?'));
  size_t slash = dir.rfind('/');
  dir = slash == std::string::npos ? "/" : dir.substr(0, slash + 1);
  return origin + dir + loc;
}

std::string HttpRequestPath(const std::string& path) {
  std::string text = IsAscii(path) ? path : Cp949ToUtf8(path);
  static const char kHex[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(text.size());
  for (char ch : text) {
    unsigned char c = static_cast<unsigned char>(ch);
    if (c <= 0x20 || c >= 0x7F) {
      out.push_back('%');
      out.push_back(kHex[c >> 4]);
      out.push_back(kHex[c & 15]);
    } else {
      out.push_back(ch);
    }
  }
  return out.empty() ? "/" : out;
}

bool FtpCommandPath(const std::string& path, std::string* out) {
  std::string decoded;
  decoded.reserve(path.size());
  for (size_t i = 0; i < path.size(); ++i) {
    if (path[i] == '%' && i + 2 < path.size() && HexValue(path[i + 1]) >= 0 &&
        HexValue(path[i + 2]) >= 0) {
      decoded.push_back(static_cast<char>(HexValue(path[i + 1]) * 16 + HexValue(path[i + 2])));
      i += 2;
    } else {
      decoded.push_back(path[i]);
    }
  }
  if (!IsValidUtf8(decoded)) decoded = Cp949ToUtf8(decoded);
  for (char c : decoded)
    if (c == '\r' || c == '\n' || c == '\0') return false;
  *out = std::move(decoded);
  return true;
}

ProxySettings ProxySettings::FromEnvironment() {
  auto get = [](const char* lower, const char* upper) {
    const char* v = std::getenv(lower);
    if (v == nullptr || *v == '\0') v = std::getenv(upper);
    return std::string(v ? v : "");
  };
  ProxySettings s;
  s.http_proxy = get("http_proxy", "HTTP_PROXY");
  s.ftp_proxy = get("ftp_proxy", "FTP_PROXY");
  s.no_proxy = get("no_proxy", "NO_PROXY");
  return s;
}

ProxySettings ProxySettings::FromInternetSettings(const std::string& proxy_server,
                                                  const std::string& proxy_override) {
  ProxySettings s;
  size_t start = 0;
  while (start <= proxy_server.size()) {
    size_t semicolon = proxy_server.find(';', start);
    if (semicolon == std::string::npos) semicolon = proxy_server.size();
    std::string entry = Trim(proxy_server.substr(start, semicolon - start));
    start = semicolon + 1;
    size_t equals = entry.find('=');
    if (equals == std::string::npos) {  // one proxy for every protocol
      if (!entry.empty()) s.http_proxy = s.ftp_proxy = entry;
      continue;
    }
    std::string scheme = ToLowerAscii(Trim(entry.substr(0, equals)));
    std::string value = Trim(entry.substr(equals + 1));
    if (scheme == "http") s.http_proxy = value;
    else if (scheme == "ftp") s.ftp_proxy = value;
  }
  start = 0;
  while (start <= proxy_override.size()) {
    size_t semicolon = proxy_override.find(';', start);
    if (semicolon == std::string::npos) semicolon = proxy_override.size();
    std::string entry = Trim(proxy_override.substr(start, semicolon - start));
    start = semicolon + 1;
    if (entry.compare(0, 2, "*.") == 0) entry = entry.substr(1);  // a domain and its hosts
    if (entry.empty() || entry.find(',') != std::string::npos) continue;
    if (!s.no_proxy.empty()) s.no_proxy += ",";
    s.no_proxy += entry;
  }
  return s;
}

bool ProxySettings::ProxyFor(const std::string& scheme, const std::string& host,
                             std::string* proxy_host, uint16_t* proxy_port) const {
  const std::string* value = nullptr;
  if (EqualNoCase(scheme, "http")) value = &http_proxy;
  else if (EqualNoCase(scheme, "ftp")) value = &ftp_proxy;
  if (value == nullptr || Trim(*value).empty()) return false;
  if (IsLoopbackHost(host)) return false;
  std::string h = ToLowerAscii(host);
  size_t start = 0;
  while (start <= no_proxy.size()) {
    size_t comma = no_proxy.find(',', start);
    if (comma == std::string::npos) comma = no_proxy.size();
    std::string entry = ToLowerAscii(Trim(no_proxy.substr(start, comma - start)));
    start = comma + 1;
    if (entry.empty()) continue;
    if (entry == "*") return false;
    if (entry == "<local>") {  // hosts of the local network, named without a dot
      if (h.find('.') == std::string::npos && h.find(':') == std::string::npos) return false;
      continue;
    }
    if (entry[0] == '[') {
      size_t close = entry.find(']');
      entry = close == std::string::npos ? entry : entry.substr(1, close - 1);
    } else if (entry.find(':') == entry.rfind(':') && entry.find(':') != std::string::npos) {
      entry = entry.substr(0, entry.find(':'));  // "host:port": the port is not compared
    }
    if (!entry.empty() && entry[0] == '.') entry = entry.substr(1);
    if (h == entry) return false;
    if (h.size() > entry.size() && h.compare(h.size() - entry.size(), entry.size(), entry) == 0 &&
        h[h.size() - entry.size() - 1] == '.')
      return false;
  }
  return ParseProxyValue(*value, proxy_host, proxy_port);
}

std::string Base64Encode(const std::string& data) {
  static const char kTable[] =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  size_t i = 0;
  while (i + 2 < data.size()) {
    uint32_t v = (static_cast<unsigned char>(data[i]) << 16) |
                 (static_cast<unsigned char>(data[i + 1]) << 8) |
                 static_cast<unsigned char>(data[i + 2]);
    out.push_back(kTable[v >> 18]);
    out.push_back(kTable[(v >> 12) & 63]);
    out.push_back(kTable[(v >> 6) & 63]);
    out.push_back(kTable[v & 63]);
    i += 3;
  }
  if (i < data.size()) {
    uint32_t v = static_cast<unsigned char>(data[i]) << 16;
    if (i + 1 < data.size()) v |= static_cast<unsigned char>(data[i + 1]) << 8;
    out.push_back(kTable[v >> 18]);
    out.push_back(kTable[(v >> 12) & 63]);
    out.push_back(i + 1 < data.size() ? kTable[(v >> 6) & 63] : '=');
    out.push_back('=');
  }
  return out;
}

namespace {

// "a.b.c.d" with four decimal parts below 256.
bool ParseIpv4(const std::string& text, uint8_t out[4]) {
  size_t at = 0;
  for (int part = 0; part < 4; ++part) {
    if (part > 0) {
      if (at >= text.size() || text[at] != '.') return false;
      ++at;
    }
    size_t start = at;
    unsigned value = 0;
    while (at < text.size() && text[at] >= '0' && text[at] <= '9' && at - start < 3)
      value = value * 10 + static_cast<unsigned>(text[at++] - '0');
    if (at == start || value > 255) return false;
    out[part] = static_cast<uint8_t>(value);
  }
  return at == text.size();
}

bool IsInternalIpv4(const uint8_t a[4]) {
  return a[0] == 127 || a[0] == 0 || a[0] == 10 || (a[0] == 169 && a[1] == 254) ||
         (a[0] == 172 && (a[1] & 0xF0) == 16) || (a[0] == 192 && a[1] == 168) ||
         (a[0] == 100 && (a[1] & 0xC0) == 64);
}

}  // namespace

bool IsLoopbackHost(const std::string& host) {
  std::string h = host;
  if (h.size() >= 2 && h.front() == '[' && h.back() == ']') h = h.substr(1, h.size() - 2);
  return EqualNoCase(h, "localhost") || h == "::1" || h.rfind("127.", 0) == 0;
}

bool IsInternalAddress(const std::string& host) {
  std::string h = host;
  if (h.size() >= 2 && h.front() == '[' && h.back() == ']') h = h.substr(1, h.size() - 2);
  if (EqualNoCase(h, "localhost")) return true;
  uint8_t v4[4];
  if (ParseIpv4(h, v4)) return IsInternalIpv4(v4);
  if (h.find(':') == std::string::npos) return false;
  std::string lower;
  for (char c : h) lower += (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
  size_t zone = lower.find('%');
  if (zone != std::string::npos) lower.resize(zone);
  if (lower == "::" || lower == "::1") return true;
  // IPv4 mapped into IPv6.
  if (lower.rfind("::ffff:", 0) == 0 && ParseIpv4(lower.substr(7), v4)) return IsInternalIpv4(v4);
  size_t colon = lower.find(':');
  std::string first = lower.substr(0, colon);
  if (first.size() != 4) return false;
  if (first[0] == 'f' && (first[1] == 'c' || first[1] == 'd')) return true;  // fc00::/7
  return first[0] == 'f' && first[1] == 'e' && first[2] >= '8' && first[2] <= 'b';  // fe80::/10
}

}  // namespace platform
