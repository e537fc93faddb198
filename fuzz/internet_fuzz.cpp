// Server replies are hostile input: the HTTP response parsers and the FTP
// reply parsers must take any bytes without a fault, and give the same
// answer however the bytes are split.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "platform/internet_parse.h"

namespace kivro {

namespace {

void CheckHead(const char* data, size_t size) {
  platform::HttpResponseHead head;
  size_t length = 0;
  platform::ParseStatus status = platform::ParseHttpResponseHead(data, size, &head, &length);
  if (status != platform::ParseStatus::kComplete) return;
  if (length == 0 || length > size) abort();
  // The head alone parses to the same head.
  platform::HttpResponseHead again;
  size_t again_length = 0;
  if (platform::ParseHttpResponseHead(data, length, &again, &again_length) !=
          platform::ParseStatus::kComplete ||
      again_length != length || again.status != head.status ||
      again.headers.size() != head.headers.size())
    abort();
  platform::BodyFraming framing;
  platform::DetermineBodyFraming(head, false, &framing);
  const std::string* range = head.Find("Content-Range");
  uint64_t first = 0, last = 0;
  if (range != nullptr && platform::ParseContentRange(*range, &first, &last) && last < first) abort();
}

// Decodes in one go and byte by byte: both must agree.
void CheckChunked(const char* data, size_t size) {
  std::string whole(size + 16, '\0');
  platform::ChunkedDecoder a;
  size_t used = 0, produced = 0;
  bool ok_a = a.Decode(data, size, &used, whole.data(), whole.size(), &produced);
  if (ok_a && (used > size || produced > size)) abort();
  whole.resize(ok_a ? produced : 0);

  platform::ChunkedDecoder b;
  std::string pieces;
  bool ok_b = true;
  size_t i = 0;
  while (i < size && !b.Done()) {
    char out[3];
    size_t in_used = 0, out_used = 0;
    if (!b.Decode(data + i, 1, &in_used, out, sizeof(out), &out_used)) {
      ok_b = false;
      break;
    }
    // A call with input and room must move on, or a reader would spin.
    if (in_used == 0 && out_used == 0 && !b.Done()) abort();
    pieces.append(out, out_used);
    i += in_used;
  }
  if (ok_a != ok_b) abort();
  if (ok_a && a.Done() != b.Done()) abort();
  if (ok_a && whole != pieces) abort();
}

void CheckFtp(const char* data, size_t size) {
  platform::FtpReply reply;
  size_t used = 0;
  if (platform::ParseFtpReply(data, size, &reply, &used) == platform::ParseStatus::kComplete) {
    if (used == 0 || used > size || reply.code < 100 || reply.code > 599) abort();
    uint16_t port = 0;
    if (platform::ParsePasvReply(reply.text, &port) && port == 0) abort();
    if (platform::ParseEpsvReply(reply.text, &port) && port == 0) abort();
    uint64_t n = 0;
    platform::ParseSizeReply(reply.text, &n);
  }
  std::string text(data, size);
  uint16_t port = 0;
  platform::ParsePasvReply(text, &port);
  platform::ParseEpsvReply(text, &port);
  platform::UrlParts url;
  if (platform::SplitUrl(text, &url)) {
    if (url.host.empty() || url.path.empty() || url.path[0] != '/') abort();
    platform::ResolveLocation(url, text);
  }
  std::string path;
  if (platform::FtpCommandPath(text, &path) &&
      path.find_first_of(std::string("\r\n\0", 3)) != std::string::npos)
    abort();
  std::string request = platform::HttpRequestPath(text);
  for (char c : request)
    if (static_cast<unsigned char>(c) <= 0x20 || static_cast<unsigned char>(c) >= 0x7F) abort();
}

}  // namespace

}  // namespace kivro

using namespace kivro;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const char* text = reinterpret_cast<const char*>(data);
  CheckHead(text, size);
  CheckChunked(text, size);
  CheckFtp(text, size);
  return 0;
}
