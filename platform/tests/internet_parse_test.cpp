#include "platform/internet_parse.h"

#include <gtest/gtest.h>

#include <cstring>

namespace platform {
namespace {

ParseStatus ParseHead(const std::string& text, HttpResponseHead* head, size_t* length) {
  return ParseHttpResponseHead(text.data(), text.size(), head, length);
}

TEST(HttpHeadParser, ParsesStatusHeadersAndHeadLength) {
  std::string text =
      "HTTP/1.1 206 Partial Content\r\nContent-Length: 10\r\ncontent-range:  bytes 5-14/15 \r\n\r\nBODY";
  HttpResponseHead head;
  size_t length = 0;
  ASSERT_EQ(ParseHead(text, &head, &length), ParseStatus::kComplete);
  EXPECT_EQ(head.status, 206u);
  EXPECT_EQ(head.version_minor, 1);
  EXPECT_EQ(length, text.size() - 4);
  ASSERT_NE(head.Find("Content-Range"), nullptr);
  EXPECT_EQ(*head.Find("Content-Range"), "bytes 5-14/15");
  EXPECT_EQ(head.status_line, "HTTP/1.1 206 Partial Content");
}

TEST(HttpHeadParser, AcceptsBareLineFeedsAndMissingReason) {
  HttpResponseHead head;
  size_t length = 0;
  ASSERT_EQ(ParseHead("HTTP/1.0 200\nA: b\n\n", &head, &length), ParseStatus::kComplete);
  EXPECT_EQ(head.status, 200u);
  EXPECT_EQ(head.version_minor, 0);
  EXPECT_EQ(length, 19u);
}

TEST(HttpHeadParser, WaitsForTheBlankLine) {
  HttpResponseHead head;
  size_t length = 0;
  EXPECT_EQ(ParseHead("HTTP/1.1 200 OK\r\nContent-Length: 3\r\n", &head, &length),
            ParseStatus::kIncomplete);
  EXPECT_EQ(ParseHead("", &head, &length), ParseStatus::kIncomplete);
}

TEST(HttpHeadParser, RefusesMalformedHeads) {
  HttpResponseHead head;
  size_t length = 0;
  for (const char* bad : {"HTTP/1.1 20 OK\r\n\r\n", "HTTX/1.1 200 OK\r\n\r\n",
                          "HTTP/1.1 200OK\r\n\r\n", "HTTP/1.1 200 OK\r\nNoColon\r\n\r\n",
                          "HTTP/1.1 200 OK\r\n folded: x\r\n\r\n", "HTTP/1.1 200 OK\r\nBad Name: x\r\n\r\n",
                          "HTTP/1.1 200 OK\r\n: empty\r\n\r\n", "HTTP/1.1 099 Low\r\n\r\n", "\r\n"}) {
    EXPECT_EQ(ParseHead(bad, &head, &length), ParseStatus::kInvalid) << bad;
  }
}

TEST(HttpHeadParser, RefusesHeadsBeyondTheLimits) {
  HttpResponseHead head;
  size_t length = 0;
  std::string endless = "HTTP/1.1 200 OK\r\nX: " + std::string(kMaxHttpHeadBytes, 'a');
  EXPECT_EQ(ParseHead(endless, &head, &length), ParseStatus::kInvalid);
  std::string many = "HTTP/1.1 200 OK\r\n";
  for (size_t i = 0; i < kMaxHttpHeaderLines + 2; ++i) many += "A: b\r\n";
  many += "\r\n";
  EXPECT_EQ(ParseHead(many, &head, &length), ParseStatus::kInvalid);
}

BodyFraming Framing(const std::string& head_text, bool head_request = false, bool* ok = nullptr) {
  HttpResponseHead head;
  size_t length = 0;
  EXPECT_EQ(ParseHead(head_text, &head, &length), ParseStatus::kComplete);
  BodyFraming f;
  bool r = DetermineBodyFraming(head, head_request, &f);
  if (ok != nullptr) *ok = r;
  else EXPECT_TRUE(r);
  return f;
}

TEST(BodyFraming, ChoosesLengthChunkedCloseOrNone) {
  BodyFraming f = Framing("HTTP/1.1 200 OK\r\nContent-Length: 42\r\n\r\n");
  EXPECT_EQ(f.kind, BodyFraming::kLength);
  EXPECT_EQ(f.length, 42u);
  EXPECT_EQ(Framing("HTTP/1.1 200 OK\r\nTransfer-Encoding: gzip, chunked\r\nContent-Length: 5\r\n\r\n").kind,
            BodyFraming::kChunked);
  EXPECT_EQ(Framing("HTTP/1.1 200 OK\r\nTransfer-Encoding: gzip\r\n\r\n").kind,
            BodyFraming::kUntilClose);
  EXPECT_EQ(Framing("HTTP/1.0 200 OK\r\n\r\n").kind, BodyFraming::kUntilClose);
  EXPECT_EQ(Framing("HTTP/1.1 204 No Content\r\nContent-Length: 5\r\n\r\n").kind, BodyFraming::kNone);
  EXPECT_EQ(Framing("HTTP/1.1 304 Not Modified\r\n\r\n").kind, BodyFraming::kNone);
  EXPECT_EQ(Framing("HTTP/1.1 200 OK\r\nContent-Length: 9\r\n\r\n", true).kind, BodyFraming::kNone);
  EXPECT_EQ(Framing("HTTP/1.1 200 OK\r\nContent-Length: 7, 7\r\n\r\n").length, 7u);
}

TEST(BodyFraming, RefusesContradictoryOrMalformedLengths) {
  bool ok = true;
  Framing("HTTP/1.1 200 OK\r\nContent-Length: 5\r\nContent-Length: 6\r\n\r\n", false, &ok);
  EXPECT_FALSE(ok);
  Framing("HTTP/1.1 200 OK\r\nContent-Length: -1\r\n\r\n", false, &ok);
  EXPECT_FALSE(ok);
  Framing("HTTP/1.1 200 OK\r\nContent-Length: 99999999999999999999999\r\n\r\n", false, &ok);
  EXPECT_FALSE(ok);
  Framing("HTTP/1.1 200 OK\r\nContent-Length: 12abc\r\n\r\n", false, &ok);
  EXPECT_FALSE(ok);
}

TEST(ContentNumbers, ParseLengthAndRange) {
  uint64_t v = 0;
  EXPECT_TRUE(ParseContentLength(" 4294967296 ", &v));
  EXPECT_EQ(v, 4294967296ull);
  EXPECT_TRUE(ParseContentLength("18446744073709551615", &v));
  EXPECT_FALSE(ParseContentLength("18446744073709551616", &v));
  EXPECT_FALSE(ParseContentLength("", &v));
  uint64_t first = 0, last = 0;
  EXPECT_TRUE(ParseContentRange("bytes 100-199/200", &first, &last));
  EXPECT_EQ(first, 100u);
  EXPECT_EQ(last, 199u);
  EXPECT_TRUE(ParseContentRange("bytes 0-0/*", &first, &last));
  EXPECT_FALSE(ParseContentRange("bytes 100-199/150", &first, &last));
  EXPECT_FALSE(ParseContentRange("bytes 200-100/300", &first, &last));
  EXPECT_FALSE(ParseContentRange("items 1-2/3", &first, &last));
}

std::string Dechunk(const std::string& in, size_t in_piece, size_t out_piece, bool* ok, bool* done) {
  ChunkedDecoder d;
  std::string out;
  size_t pos = 0;
  *ok = true;
  while (pos < in.size() && !d.Done()) {
    size_t n = std::min(in_piece, in.size() - pos);
    size_t used = 0, produced = 0;
    std::string buffer(out_piece, '\0');
    if (!d.Decode(in.data() + pos, n, &used, buffer.data(), buffer.size(), &produced)) {
      *ok = false;
      break;
    }
    out.append(buffer.data(), produced);
    pos += used;
    if (used == 0 && produced == 0) break;
  }
  *done = d.Done();
  return out;
}

TEST(ChunkedDecoder, DecodesAcrossAnySplitOfInputAndOutput) {
  std::string body = "5;ext=1\r\nhello\r\n1A\r\nabcdefghijklmnopqrstuvwxyz\r\n0\r\nTrailer: x\r\n\r\n";
  for (size_t in_piece : {1u, 2u, 7u, 100u}) {
    for (size_t out_piece : {1u, 3u, 64u}) {
      bool ok = false, done = false;
      std::string out = Dechunk(body, in_piece, out_piece, &ok, &done);
      EXPECT_TRUE(ok);
      EXPECT_TRUE(done) << in_piece << "/" << out_piece;
      EXPECT_EQ(out, "helloabcdefghijklmnopqrstuvwxyz");
    }
  }
}

TEST(ChunkedDecoder, RefusesMalformedChunks) {
  for (const char* bad : {"x\r\n", "5\r\nhelloX\r\n", "\r\n", "1234567890ABCDEF0\r\n", "5\rX"}) {
    bool ok = true, done = false;
    Dechunk(bad, 100, 100, &ok, &done);
    EXPECT_FALSE(ok) << bad;
  }
}

TEST(ChunkedDecoder, StopsAtTheEndAndLeavesWhatFollows) {
  std::string in = "3\r\nabc\r\n0\r\n\r\nNEXT";
  ChunkedDecoder d;
  char out[16];
  size_t used = 0, produced = 0;
  ASSERT_TRUE(d.Decode(in.data(), in.size(), &used, out, sizeof(out), &produced));
  EXPECT_TRUE(d.Done());
  EXPECT_EQ(produced, 3u);
  EXPECT_EQ(in.substr(used), "NEXT");
}

ParseStatus Reply(const std::string& text, FtpReply* reply, size_t* used) {
  return ParseFtpReply(text.data(), text.size(), reply, used);
}

TEST(FtpReplyParser, ParsesSingleAndMultiLineReplies) {
  FtpReply reply;
  size_t used = 0;
  ASSERT_EQ(Reply("213 1048576\r\n230 next", &reply, &used), ParseStatus::kComplete);
  EXPECT_EQ(reply.code, 213u);
  EXPECT_EQ(reply.text, "213 1048576\r\n");
  EXPECT_EQ(used, 13u);
  std::string multi = "220-Welcome\r\n220 is not the end\r\n 220 neither\r\n220 ready\r\n";
  // "220 is not..." ends it: the same code and a blank closes a multi-line reply.
  ASSERT_EQ(Reply(multi, &reply, &used), ParseStatus::kComplete);
  EXPECT_EQ(reply.text, "220-Welcome\r\n220 is not the end\r\n");
  ASSERT_EQ(Reply("211-Features\n MDTM\n SIZE\n211 End\n", &reply, &used), ParseStatus::kComplete);
  EXPECT_EQ(reply.code, 211u);
  EXPECT_EQ(reply.text, "211-Features\r\n MDTM\r\n SIZE\r\n211 End\r\n");
}

TEST(FtpReplyParser, WaitsForTheLastLine) {
  FtpReply reply;
  size_t used = 0;
  EXPECT_EQ(Reply("220-Hello\r\n more\r\n", &reply, &used), ParseStatus::kIncomplete);
  EXPECT_EQ(Reply("213 12", &reply, &used), ParseStatus::kIncomplete);
}

TEST(FtpReplyParser, RefusesMalformedOrEndlessReplies) {
  FtpReply reply;
  size_t used = 0;
  EXPECT_EQ(Reply("hello\r\n", &reply, &used), ParseStatus::kInvalid);
  EXPECT_EQ(Reply("999 x\r\n", &reply, &used), ParseStatus::kInvalid);
  EXPECT_EQ(Reply("2134\r\n", &reply, &used), ParseStatus::kInvalid);
  EXPECT_EQ(Reply(std::string("213 a\0b\r\n", 9), &reply, &used), ParseStatus::kInvalid);
  std::string endless = "220-x\r\n";
  while (endless.size() <= kMaxFtpReplyBytes) endless += " line\r\n";
  EXPECT_EQ(Reply(endless, &reply, &used), ParseStatus::kInvalid);
}

TEST(FtpReplyParser, ReadsPassiveAndSizeNumbers) {
  uint16_t port = 0;
  EXPECT_TRUE(ParsePasvReply("227 Entering Passive Mode (127,0,0,1,195,80).", &port));
  EXPECT_EQ(port, 195 * 256 + 80);
  EXPECT_TRUE(ParsePasvReply("227 =10,1,2,3,4,5", &port));
  EXPECT_EQ(port, 4 * 256 + 5);
  EXPECT_FALSE(ParsePasvReply("227 (127,0,0,1,256,1)", &port));
  EXPECT_FALSE(ParsePasvReply("227 (127,0,0,1,0,0)", &port));
  EXPECT_FALSE(ParsePasvReply("227 (127,0,0,1)", &port));
  EXPECT_TRUE(ParseEpsvReply("229 Entering Extended Passive Mode (|||6446|)", &port));
  EXPECT_EQ(port, 6446);
  EXPECT_FALSE(ParseEpsvReply("229 (|||70000|)", &port));
  EXPECT_FALSE(ParseEpsvReply("229 (||6446|)", &port));
  uint64_t size = 0;
  EXPECT_TRUE(ParseSizeReply("213 1048576\r\n", &size));
  EXPECT_EQ(size, 1048576u);
  EXPECT_TRUE(ParseSizeReply("213 5000000000", &size));
  EXPECT_EQ(size, 5000000000ull);
  EXPECT_FALSE(ParseSizeReply("213 \r\n", &size));
  EXPECT_FALSE(ParseSizeReply("213 abc", &size));
}

TEST(Urls, SplitsHostsPortsAndCredentials) {
  UrlParts u;
  ASSERT_TRUE(SplitUrl("HTTP://Host.example:8080/dir/a%20b.zip?x=1#frag", &u));
  EXPECT_EQ(u.scheme, "http");
  EXPECT_EQ(u.host, "Host.example");
  EXPECT_EQ(u.port, 8080);
  EXPECT_EQ(u.path, "/dir/a%20b.zip?x=1");
  ASSERT_TRUE(SplitUrl("ftp://user:pw@[::1]/f", &u));
  EXPECT_EQ(u.host, "::1");
  EXPECT_EQ(u.port, 21);
  EXPECT_EQ(u.user, "user");
  EXPECT_EQ(u.password, "pw");
  ASSERT_TRUE(SplitUrl("http://h", &u));
  EXPECT_EQ(u.path, "/");
  EXPECT_EQ(u.port, 80);
  EXPECT_FALSE(SplitUrl("http:///path", &u));
  EXPECT_FALSE(SplitUrl("http://h:0/", &u));
  EXPECT_FALSE(SplitUrl("http://h:99999/", &u));
  EXPECT_FALSE(SplitUrl("nothing", &u));
}

TEST(Urls, ResolvesRedirectLocations) {
  UrlParts base;
  ASSERT_TRUE(SplitUrl("http://h:81/a/b/c.zip", &base));
  EXPECT_EQ(ResolveLocation(base, "http://other/x"), "http://other/x");
  EXPECT_EQ(ResolveLocation(base, "/root.zip"), "http://h:81/root.zip");
  EXPECT_EQ(ResolveLocation(base, "d.zip"), "http://h:81/a/b/d.zip");
  EXPECT_EQ(ResolveLocation(base, "//cdn/x"), "http://cdn/x");
}

TEST(Urls, PathsTravelSafely) {
  // Korean (code page 949) in a path goes out as percent-escaped UTF-8.
  EXPECT_EQ(HttpRequestPath("/\xC7\xD1.zip"), "/%ED%95%9C.zip");
  EXPECT_EQ(HttpRequestPath("/a b\r\n"), "/a%20b%0D%0A");
  EXPECT_EQ(HttpRequestPath("/%ED%95%9C"), "/%ED%95%9C");
  std::string out;
  ASSERT_TRUE(FtpCommandPath("/dir/%ED%95%9C.zip", &out));
  EXPECT_EQ(out, "/dir/\xED\x95\x9C.zip");
  ASSERT_TRUE(FtpCommandPath("/\xC7\xD1.zip", &out));
  EXPECT_EQ(out, "/\xED\x95\x9C.zip");
  ASSERT_TRUE(FtpCommandPath("/100%.zip", &out));
  EXPECT_EQ(out, "/100%.zip");
  // A hostile URL must not smuggle a second command.
  EXPECT_FALSE(FtpCommandPath("/a%0D%0ADELE%20b", &out));
}

TEST(Proxies, ChooseByScheme_AndHonourNoProxyAndLoopback) {
  ProxySettings s;
  s.http_proxy = "http://proxy.example:3128/";
  s.ftp_proxy = "ftpgate:8021";
  s.no_proxy = "internal.example, .corp,10.0.0.5:80";
  std::string host;
  uint16_t port = 0;
  ASSERT_TRUE(s.ProxyFor("http", "download.example", &host, &port));
  EXPECT_EQ(host, "proxy.example");
  EXPECT_EQ(port, 3128);
  ASSERT_TRUE(s.ProxyFor("ftp", "download.example", &host, &port));
  EXPECT_EQ(host, "ftpgate");
  EXPECT_EQ(port, 8021);
  EXPECT_FALSE(s.ProxyFor("http", "internal.example", &host, &port));
  EXPECT_FALSE(s.ProxyFor("http", "a.internal.example", &host, &port));
  EXPECT_TRUE(s.ProxyFor("http", "notinternal.example", &host, &port));
  EXPECT_FALSE(s.ProxyFor("http", "x.CORP", &host, &port));
  EXPECT_FALSE(s.ProxyFor("http", "10.0.0.5", &host, &port));
  EXPECT_FALSE(s.ProxyFor("http", "127.0.0.1", &host, &port));
  EXPECT_FALSE(s.ProxyFor("http", "::1", &host, &port));
  s.no_proxy = "*";
  EXPECT_FALSE(s.ProxyFor("http", "download.example", &host, &port));
  s.no_proxy.clear();
  s.http_proxy = "http://proxy";
  ASSERT_TRUE(s.ProxyFor("http", "download.example", &host, &port));
  EXPECT_EQ(port, 80);
}

TEST(Proxies, WindowsInternetSettingsGiveProxiesPerProtocolAndBypassList) {
  std::string host;
  uint16_t port = 0;
  ProxySettings one = ProxySettings::FromInternetSettings("gate.example:8080", "");
  ASSERT_TRUE(one.ProxyFor("ftp", "files.example", &host, &port));
  EXPECT_EQ(host, "gate.example");
  EXPECT_EQ(port, 8080);
  ProxySettings each = ProxySettings::FromInternetSettings(
      "https=secure:443; HTTP=web:3128;ftp=ftpgate:21", "*.corp.example;intranet;<local>");
  ASSERT_TRUE(each.ProxyFor("http", "download.example", &host, &port));
  EXPECT_EQ(host, "web");
  EXPECT_EQ(port, 3128);
  ASSERT_TRUE(each.ProxyFor("ftp", "download.example", &host, &port));
  EXPECT_EQ(host, "ftpgate");
  EXPECT_FALSE(each.ProxyFor("http", "a.corp.example", &host, &port));
  EXPECT_FALSE(each.ProxyFor("http", "intranet", &host, &port));
  EXPECT_FALSE(each.ProxyFor("http", "buildbox", &host, &port));  // <local>: no dot
  EXPECT_TRUE(each.ProxyFor("http", "corp.example.net", &host, &port));
  ProxySettings http_only = ProxySettings::FromInternetSettings("http=web:3128", "");
  EXPECT_FALSE(http_only.ProxyFor("ftp", "download.example", &host, &port));
}

TEST(Base64, EncodesCredentials) {
  EXPECT_EQ(Base64Encode("Aladdin:open sesame"), "QWxhZGRpbjpvcGVuIHNlc2FtZQ==");
  EXPECT_EQ(Base64Encode("ab"), "YWI=");
  EXPECT_EQ(Base64Encode(""), "");
}

}  // namespace
}  // namespace platform
