// Parsers of what internet servers send, fed byte spans rather than sockets
// so that they can be tested and fuzzed on their own. Every reply is hostile
// input: sizes are bounded, numbers are checked for overflow, and anything
// malformed is refused rather than guessed at.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace platform {

enum class ParseStatus { kIncomplete, kComplete, kInvalid };

// Heads longer than this, or with more header lines, are refused.
constexpr size_t kMaxHttpHeadBytes = 64 * 1024;
constexpr size_t kMaxHttpHeaderLines = 128;
// FTP replies longer than this are refused.
constexpr size_t kMaxFtpReplyBytes = 16 * 1024;

struct HttpHeader {
  std::string name;
  std::string value;  // leading and trailing blanks removed
};

struct HttpResponseHead {
  int version_major = 1;
  int version_minor = 1;
  uint32_t status = 0;
  std::string status_line;  // without the line end
  std::vector<HttpHeader> headers;

  // The first header of that name (compared without regard to case), or null.
  const std::string* Find(const char* name) const;
  // True when some header of that name holds `token` in its comma list.
  bool HasToken(const char* name, const char* token) const;
};

// Parses a response head at the start of `data` (status line, header lines,
// blank line; "\r\n" or a bare "\n" ends a line). On kComplete `*head_length`
// is the length of the head including the blank line.
ParseStatus ParseHttpResponseHead(const char* data, size_t size, HttpResponseHead* head,
                                  size_t* head_length);

// How the body of a response ends.
struct BodyFraming {
  enum Kind { kNone, kLength, kChunked, kUntilClose } kind = kNone;
  uint64_t length = 0;  // for kLength
};
// False when the head is contradictory (differing or malformed
// Content-Length values) and the body cannot be delimited safely.
bool DetermineBodyFraming(const HttpResponseHead& head, bool head_request, BodyFraming* framing);
// Content-Length as a number; false when absent or malformed.
bool ParseContentLength(const std::string& text, uint64_t* length);
// "bytes FIRST-LAST/TOTAL" (TOTAL may be "*"); false when malformed.
bool ParseContentRange(const std::string& text, uint64_t* first, uint64_t* last);

// Decodes a chunked body incrementally.
class ChunkedDecoder {
 public:
  // Takes bytes from `in` and writes body bytes to `out`. Stops when `out` is
  // full, `in` is used up or the body ends. False on malformed input.
  bool Decode(const char* in, size_t in_size, size_t* in_used, char* out, size_t out_size,
              size_t* out_used);
  bool Done() const { return state_ == State::kDone; }

 private:
  enum class State { kSize, kExtension, kSizeLf, kData, kDataCr, kDataLf, kTrailer, kTrailerLf,
                     kDone };
  State state_ = State::kSize;
  uint64_t remaining_ = 0;
  int size_digits_ = 0;
  size_t trailer_line_ = 0;  // bytes in the current trailer line
  size_t trailer_total_ = 0;
};

// One FTP reply: "ddd text" or a multi-line "ddd-..." ... "ddd text".
struct FtpReply {
  uint32_t code = 0;
  std::string text;  // every line, each ended with "\r\n"
};
// Parses one complete reply at the start of `data`; `*used` its length.
ParseStatus ParseFtpReply(const char* data, size_t size, FtpReply* reply, size_t* used);

// The port of a 227 reply "(h1,h2,h3,h4,p1,p2)"; the address is not used,
// the data connection goes to the control connection's peer.
bool ParsePasvReply(const std::string& text, uint16_t* port);
// The port of a 229 reply "(|||port|)".
bool ParseEpsvReply(const std::string& text, uint16_t* port);
// The number of a 213 reply to SIZE; false when there is no number or it
// does not fit 64 bits.
bool ParseSizeReply(const std::string& text, uint64_t* size);

// The parts of "scheme://[user[:password]@]host[:port][/path]".
struct UrlParts {
  std::string scheme;  // lower case
  std::string user, password;
  std::string host;  // without brackets
  uint16_t port = 0;  // the scheme's default when absent
  std::string path;   // from the first '/' after the host ("/" when empty)
};
bool SplitUrl(const std::string& url, UrlParts* parts);
// Resolves a Location value against the URL it came from.
std::string ResolveLocation(const UrlParts& base, const std::string& location);

// A path as it travels in an HTTP request line: as given, except that
// bytes that may not appear there are percent-escaped; bytes above 0x7F
// are taken as code page 949 and sent as percent-escaped UTF-8.
std::string HttpRequestPath(const std::string& path);
// A path as it travels in an FTP command: percent escapes are decoded (the
// URLs the system hands over are canonical) and text that is not UTF-8 is
// taken as code page 949 and converted. False when the result holds a line
// break or a zero byte, which would split the command.
bool FtpCommandPath(const std::string& path, std::string* out);

// The preconfigured proxy: http_proxy, ftp_proxy, no_proxy (either case).
struct ProxySettings {
  std::string http_proxy;  // "http://host:port/" or "host:port"
  std::string ftp_proxy;
  std::string no_proxy;  // comma list of host names, domain suffixes, "*", "<local>"

  static ProxySettings FromEnvironment();
  // The same settings from the values Windows keeps for a user's Internet
  // settings: ProxyServer ("host:port" for every protocol, or
  // "http=host:port;ftp=host:port;...") and ProxyOverride (';'-separated
  // hosts, "*.domain" and "<local>", which names the hosts without a dot).
  static ProxySettings FromInternetSettings(const std::string& proxy_server,
                                            const std::string& proxy_override);
  // The proxy to use for a URL of `scheme` on `host`; false for a direct
  // connection. Loopback hosts never go through a proxy: a proxy elsewhere
  // cannot reach them.
  bool ProxyFor(const std::string& scheme, const std::string& host, std::string* proxy_host,
                uint16_t* proxy_port) const;
};

std::string Base64Encode(const std::string& data);

// "localhost", 127.x.x.x or ::1 (brackets allowed).
bool IsLoopbackHost(const std::string& host);

// A numeric address (IPv4, or IPv6 with or without brackets) or the name
// "localhost" that stays inside the machine or its site: loopback,
// unspecified, link-local, the RFC 1918 ranges, shared (100.64/10) and IPv6
// unique-local addresses. Other names are not resolved here: false.
bool IsInternalAddress(const std::string& host);

}  // namespace platform
