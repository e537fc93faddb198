// HTTP/1.1 requests over pooled keep-alive connections.
#include <algorithm>
#include <cstring>

#include "platform/internet.h"
#include "platform/internet_errors.h"

namespace platform {

namespace {

constexpr size_t kBufferSize = kMaxHttpHeadBytes;
// A redirect or error body up to this size is read and dropped so that the
// connection can serve the next request; a longer one costs a new connection.
constexpr uint64_t kMaxDrainBytes = 64 * 1024;

bool IsRedirect(uint32_t status) {
  return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

std::string HostForHeader(const UrlParts& url) {
  std::string host = url.host.find(':') != std::string::npos ? "[" + url.host + "]" : url.host;
  uint16_t default_port = url.scheme == "ftp" ? 21 : 80;
  if (url.port != default_port) host += ":" + std::to_string(url.port);
  return host;
}

bool Fail(int32_t error, const std::string& response_text = std::string()) {
  SetLastResponseInfo(static_cast<uint32_t>(error), response_text);
  SetLastSystemError(error);
  return false;
}

}  // namespace

HttpRequest::HttpRequest(InternetSession* session, std::string verb, UrlParts target,
                         std::string user, std::string password)
    : session_(session),
      verb_(std::move(verb)),
      target_(std::move(target)),
      user_(std::move(user)),
      password_(std::move(password)) {}

HttpRequest::~HttpRequest() { DropConnection(); }

std::string HttpRequest::PoolKey() const {
  if (via_proxy_) return proxy_key_;
  return target_.scheme + "://" + target_.host + ":" + std::to_string(target_.port);
}

void HttpRequest::DropConnection() {
  socket_.reset();
  buffer_start_ = buffer_end_ = 0;
}

void HttpRequest::FinishBody() {
  body_done_ = true;
  if (socket_ && keep_alive_ && buffer_start_ == buffer_end_) {
    session_->PutIdle(PoolKey(), std::move(socket_));
  }
  DropConnection();
}

std::string HttpRequest::FinalUrl() const {
  std::string host = target_.host.find(':') != std::string::npos ? "[" + target_.host + "]"
                                                                  : target_.host;
  return target_.scheme + "://" + host + ":" + std::to_string(target_.port) + target_.path;
}

bool HttpRequest::FillBuffer() {
  if (buffer_.size() < kBufferSize) buffer_.resize(kBufferSize);
  if (buffer_start_ == buffer_end_) buffer_start_ = buffer_end_ = 0;
  if (buffer_end_ == buffer_.size()) {
    memmove(buffer_.data(), buffer_.data() + buffer_start_, buffer_end_ - buffer_start_);
    buffer_end_ -= buffer_start_;
    buffer_start_ = 0;
  }
  if (buffer_end_ == buffer_.size()) return Fail(kErrorHttpInvalidServerResponse);
  int64_t n = -1;
  if (have_response_) {
    n = socket_->Receive(buffer_.data() + buffer_end_, buffer_.size() - buffer_end_,
                         session_->ReceiveTimeout());
  } else {
    // Waiting for the head: the receive time-out in slices, the session's
    // cancel check asked between them.
    uint32_t left = session_->ReceiveTimeout();
    for (;;) {
      uint32_t slice = std::min(left, kCancelPollMs);
      n = socket_->Receive(buffer_.data() + buffer_end_, buffer_.size() - buffer_end_, slice);
      if (n >= 0 || GetLastSystemError() != kErrorInternetTimeout || slice == left) break;
      left -= slice;
      if (session_->Cancelled()) {
        SetLastSystemError(kErrorInternetOperationCancelled);
        return false;
      }
    }
  }
  if (n < 0) return false;
  if (n == 0) {
    SetLastSystemError(kErrorInternetConnectionAborted);
    return false;
  }
  if (!stall_.Note(static_cast<uint64_t>(n))) {
    SetLastSystemError(kErrorInternetTimeout);
    return false;
  }
  buffer_end_ += static_cast<size_t>(n);
  return true;
}

bool HttpRequest::ReadHead() {
  int interim = 0;
  for (;;) {
    size_t head_length = 0;
    ParseStatus status = ParseHttpResponseHead(buffer_.data() + buffer_start_,
                                               buffer_end_ - buffer_start_, &head_, &head_length);
    if (status == ParseStatus::kInvalid) return Fail(kErrorHttpInvalidServerResponse);
    if (status == ParseStatus::kComplete) {
      buffer_start_ += head_length;
      // Interim answers (100 Continue and the like) precede the real one.
      if (head_.status >= 100 && head_.status < 200) {
        if (++interim > kMaxInterimReplies) return Fail(kErrorHttpInvalidServerResponse);
        continue;
      }
      return true;
    }
    if (!FillBuffer()) return false;
  }
}

bool HttpRequest::SendOnce(const std::string& extra_headers, bool* retry_fresh) {
  *retry_fresh = false;
  have_response_ = false;
  std::string proxy_host;
  uint16_t proxy_port = 0;
  via_proxy_ = session_->Proxies().ProxyFor(target_.scheme, target_.host, &proxy_host, &proxy_port);
  if (!via_proxy_ && target_.scheme != "http") return Fail(kErrorInternetUnrecognizedScheme);
  proxy_key_ = "proxy://" + proxy_host + ":" + std::to_string(proxy_port);

  socket_ = session_->TakeIdle(PoolKey());
  reused_ = socket_ != nullptr;
  if (!socket_) {
    socket_ = std::make_unique<TcpSocket>();
    bool ok = via_proxy_ ? socket_->Connect(proxy_host, proxy_port, session_->ReceiveTimeout())
                         : socket_->Connect(target_.host, target_.port, session_->ReceiveTimeout());
    if (!ok) {
      int32_t e = GetLastSystemError();
      socket_.reset();
      return Fail(e);
    }
    session_->CountConnection();
  }
  // The address actually reached counts (a name may resolve to anything);
  // through a proxy only the name is known.
  std::string reached = via_proxy_ ? target_.host : socket_->PeerAddress();
  if (!redirected_) {
    origin_loopback_ = IsLoopbackHost(reached);
  } else if (!origin_loopback_ && IsInternalAddress(reached)) {
    DropConnection();
    return Fail(kErrorHttpRedirectFailed, head_.status_line);
  }
  buffer_.resize(kBufferSize);
  buffer_start_ = buffer_end_ = 0;
  session_->StartStallWatch(&stall_);

  std::string path = HttpRequestPath(target_.path);
  std::string request_target =
      via_proxy_ ? target_.scheme + "://" + HostForHeader(target_) + path : path;
  std::string request = verb_ + " " + request_target + " HTTP/1.1\r\n";
  request += "Host: " + HostForHeader(target_) + "\r\n";
  if (!session_->Agent().empty()) request += "User-Agent: " + session_->Agent() + "\r\n";
  if (!user_.empty()) request += "Authorization: Basic " + Base64Encode(user_ + ":" + password_) + "\r\n";
  if (!extra_headers.empty()) {
    request += extra_headers;
    if (request.size() < 2 || request.compare(request.size() - 2, 2, "\r\n") != 0) request += "\r\n";
  }
  request += "\r\n";

  if (!socket_->SendAll(request, session_->ReceiveTimeout()) || !ReadHead()) {
    int32_t e = GetLastSystemError();
    // A pooled connection the server closed meanwhile is worth one fresh try,
    // as long as nothing of an answer arrived.
    if (reused_ && buffer_end_ == 0 && e != kErrorInternetTimeout) *retry_fresh = true;
    DropConnection();
    return Fail(e);
  }

  if (!DetermineBodyFraming(head_, verb_ == "HEAD", &framing_)) {
    DropConnection();
    return Fail(kErrorHttpInvalidServerResponse, head_.status_line);
  }
  bool close = head_.HasToken("Connection", "close");
  keep_alive_ = head_.version_minor >= 1 ? !close : head_.HasToken("Connection", "keep-alive");
  if (framing_.kind == BodyFraming::kUntilClose) keep_alive_ = false;
  chunked_ = ChunkedDecoder();
  body_left_ = framing_.length;
  body_done_ = false;
  pending_error_ = 0;
  have_response_ = true;
  SetLastResponseInfo(0, head_.status_line);
  if (framing_.kind == BodyFraming::kNone ||
      (framing_.kind == BodyFraming::kLength && framing_.length == 0))
    FinishBody();
  return true;
}

bool HttpRequest::Send(const std::string& extra_headers) {
  // An answer not read to its end cannot share the connection: drop it
  // unless what is left is small.
  if (socket_ && have_response_ && !body_done_) {
    if (framing_.kind == BodyFraming::kLength && body_left_ <= kMaxDrainBytes) {
      char sink[4096];
      uint32_t got = 0;
      while (!body_done_ && Read(sink, sizeof(sink), &got) && got > 0) {
      }
    }
    DropConnection();
  }
  int redirects = 0;
  redirected_ = false;
  for (;;) {
    bool retry_fresh = false;
    if (!SendOnce(extra_headers, &retry_fresh)) {
      if (!retry_fresh || !SendOnce(extra_headers, &retry_fresh)) return false;
    }
    const std::string* location = head_.Find("Location");
    if (!IsRedirect(head_.status) || location == nullptr || location->empty()) return true;
    if (++redirects > kMaxHttpRedirects) {
      DropConnection();
      have_response_ = false;
      return Fail(kErrorHttpRedirectFailed, head_.status_line);
    }
    UrlParts next;
    if (!SplitUrl(ResolveLocation(target_, *location), &next)) {
      DropConnection();
      have_response_ = false;
      return Fail(kErrorInternetInvalidUrl, head_.status_line);
    }
    // The redirect's own body is small as a rule; keep the connection if so.
    if (!body_done_) {
      if (framing_.kind == BodyFraming::kLength && body_left_ <= kMaxDrainBytes) {
        char sink[4096];
        uint32_t got = 0;
        while (!body_done_ && Read(sink, sizeof(sink), &got) && got > 0) {
        }
      }
      DropConnection();
    }
    if (head_.status == 303) verb_ = "GET";
    if (next.host != target_.host || next.port != target_.port) {
      // Credentials are for the server they were given for.
      user_.clear();
      password_.clear();
    }
    target_ = std::move(next);
    redirected_ = true;
  }
}

bool HttpRequest::QueryStatusCode(uint32_t* status) const {
  if (!have_response_) return Fail(kErrorInternetIncorrectHandleState);
  *status = head_.status;
  return true;
}

bool HttpRequest::QueryHeader(const char* name, std::string* value) const {
  if (!have_response_) return Fail(kErrorInternetIncorrectHandleState);
  const std::string* v = head_.Find(name);
  if (v == nullptr) return Fail(kErrorHttpHeaderNotFound);
  *value = *v;
  return true;
}

bool HttpRequest::QueryContentLength(char* buffer, size_t size) const {
  std::string value;
  if (!QueryHeader("Content-Length", &value)) return false;
  if (buffer == nullptr || value.size() + 1 > size) return Fail(kErrorInsufficientBuffer);
  memcpy(buffer, value.c_str(), value.size() + 1);
  return true;
}

bool HttpRequest::Read(void* out_buffer, uint32_t size, uint32_t* read) {
  *read = 0;
  if (!have_response_) return Fail(kErrorInternetIncorrectHandleState);
  if (pending_error_ != 0) {
    int32_t e = pending_error_;
    pending_error_ = 0;
    return Fail(e);
  }
  char* out = static_cast<char*>(out_buffer);
  uint32_t got = 0;
  int32_t error = 0;
  while (got < size && !body_done_) {
    size_t buffered = buffer_end_ - buffer_start_;
    if (framing_.kind == BodyFraming::kChunked) {
      if (buffered == 0 && !FillBuffer()) {
        error = GetLastSystemError();
        break;
      }
      size_t used = 0, produced = 0;
      if (!chunked_.Decode(buffer_.data() + buffer_start_, buffer_end_ - buffer_start_, &used,
                           out + got, size - got, &produced)) {
        error = kErrorHttpInvalidServerResponse;
        break;
      }
      buffer_start_ += used;
      got += static_cast<uint32_t>(produced);
      if (chunked_.Done()) FinishBody();
      continue;
    }
    uint64_t want = size - got;
    if (framing_.kind == BodyFraming::kLength) want = std::min<uint64_t>(want, body_left_);
    size_t n = 0;
    if (buffered > 0) {
      n = static_cast<size_t>(std::min<uint64_t>(want, buffered));
      memcpy(out + got, buffer_.data() + buffer_start_, n);
      buffer_start_ += n;
    } else {
      // Straight into the caller's buffer: no copy for the bulk of a body.
      int64_t r = socket_->Receive(out + got, static_cast<size_t>(want), session_->ReceiveTimeout());
      if (r < 0) {
        error = GetLastSystemError();
        break;
      }
      if (r > 0 && !stall_.Note(static_cast<uint64_t>(r))) {
        error = kErrorInternetTimeout;
        got += static_cast<uint32_t>(r);  // what came is handed out; the error follows
        if (framing_.kind == BodyFraming::kLength) body_left_ -= static_cast<uint64_t>(r);
        break;
      }
      if (r == 0) {
        if (framing_.kind == BodyFraming::kUntilClose) {
          FinishBody();
          break;
        }
        error = kErrorInternetConnectionAborted;  // closed before the declared length
        break;
      }
      n = static_cast<size_t>(r);
    }
    got += static_cast<uint32_t>(n);
    if (framing_.kind == BodyFraming::kLength) {
      body_left_ -= n;
      if (body_left_ == 0) FinishBody();
    }
  }
  if (error != 0) {
    DropConnection();
    body_done_ = true;  // nothing more can come from this answer
    if (got == 0) return Fail(error, head_.status_line);
    pending_error_ = error;
  }
  *read = got;
  return true;
}

HttpConnection::HttpConnection(InternetSession* session, std::string server, uint16_t port,
                               std::string user, std::string password)
    : session_(session),
      server_(std::move(server)),
      port_(port == 0 ? 80 : port),
      user_(std::move(user)),
      password_(std::move(password)) {}

bool HttpConnection::Connect() {
  if (server_.empty()) return Fail(kErrorInternetNameNotResolved);
  std::string proxy_host;
  uint16_t proxy_port = 0;
  bool proxy = session_->Proxies().ProxyFor("http", server_, &proxy_host, &proxy_port);
  std::string host = server_;
  if (host.size() >= 2 && host.front() == '[' && host.back() == ']') host = host.substr(1, host.size() - 2);
  // Opening the first connection now reports an unknown or unreachable
  // server here; the connection then serves the first request.
  auto socket = std::make_unique<TcpSocket>();
  bool ok = proxy ? socket->Connect(proxy_host, proxy_port, session_->ReceiveTimeout())
                  : socket->Connect(host, port_, session_->ReceiveTimeout());
  if (!ok) return Fail(GetLastSystemError());
  session_->CountConnection();
  std::string key = proxy ? "proxy://" + proxy_host + ":" + std::to_string(proxy_port)
                          : "http://" + host + ":" + std::to_string(port_);
  session_->PutIdle(key, std::move(socket));
  return true;
}

std::unique_ptr<HttpRequest> HttpConnection::OpenRequest(const std::string& verb,
                                                         const std::string& path) {
  if (verb.empty() || path.empty() || path[0] != '/') {
    Fail(kErrorInvalidParameter);
    return nullptr;
  }
  UrlParts target;
  target.scheme = "http";
  target.host = server_;
  if (target.host.size() >= 2 && target.host.front() == '[' && target.host.back() == ']')
    target.host = target.host.substr(1, target.host.size() - 2);
  target.port = port_;
  target.path = path;
  return std::make_unique<HttpRequest>(session_, verb, std::move(target), user_, password_);
}

}  // namespace platform
