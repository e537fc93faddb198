// Sessions, the keep-alive pool, whole-URL requests and the last response.
#include <cstring>

#include "platform/internet.h"
#include "platform/internet_errors.h"
#include "platform/internet_proxy.h"
#include "platform/thread.h"

namespace platform {

namespace {

constexpr size_t kMaxIdleConnections = 4;

struct LastResponse {
  uint32_t error = 0;
  std::string text;
};
thread_local LastResponse t_last_response;

// An ftp:// URL fetched over an FTP session of its own.
class FtpUrlRequest : public InternetRequest {
 public:
  explicit FtpUrlRequest(InternetSession* session) : connection_(session) {}

  bool Open(const UrlParts& url) {
    std::string path;
    if (!FtpCommandPath(url.path, &path)) {
      SetLastSystemError(kErrorInternetInvalidUrl);
      return false;
    }
    if (!connection_.Connect(url.host, url.port, url.user, url.password)) return false;
    stream_ = connection_.OpenFile(path);
    if (!stream_) return false;
    return true;
  }

  bool QueryStatusCode(uint32_t* status) const override {
    *status = 200;
    return true;
  }

  bool QueryContentLength(char* buffer, size_t size) const override {
    // A SIZE that failed leaves the length unknown rather than 0.
    if (!stream_->FileSizeKnown()) {
      SetLastSystemError(kErrorHttpHeaderNotFound);
      return false;
    }
    std::string text = std::to_string(stream_->FileSize());
    if (buffer == nullptr || text.size() + 1 > size) {
      SetLastSystemError(kErrorInsufficientBuffer);
      return false;
    }
    memcpy(buffer, text.c_str(), text.size() + 1);
    return true;
  }

  bool Read(void* buffer, uint32_t size, uint32_t* read) override {
    return stream_->Read(buffer, size, read);
  }

 private:
  FtpConnection connection_;              // declared first: outlives the stream
  std::unique_ptr<FtpDataStream> stream_;
};

}  // namespace

InternetSession::InternetSession(std::string agent)
    : InternetSession(std::move(agent), PreconfiguredProxies()) {}

InternetSession::InternetSession(std::string agent, ProxySettings proxies)
    : agent_(std::move(agent)), proxies_(std::move(proxies)) {
  // The agent travels in a header line: it must not break the line.
  for (char& c : agent_)
    if (c == '\r' || c == '\n') c = ' ';
}

InternetSession::~InternetSession() = default;

std::unique_ptr<TcpSocket> InternetSession::TakeIdle(const std::string& key) {
  for (size_t i = idle_.size(); i-- > 0;) {
    if (idle_[i].key != key) continue;
    std::unique_ptr<TcpSocket> socket = std::move(idle_[i].socket);
    idle_.erase(idle_.begin() + static_cast<std::ptrdiff_t>(i));
    if (socket && !socket->IsStale()) return socket;
  }
  return nullptr;
}

void InternetSession::PutIdle(const std::string& key, std::unique_ptr<TcpSocket> socket) {
  if (!socket || !socket->IsOpen()) return;
  if (idle_.size() >= kMaxIdleConnections) idle_.erase(idle_.begin());
  idle_.push_back(Idle{key, std::move(socket)});
}

std::unique_ptr<InternetRequest> OpenUrl(InternetSession* session, const std::string& url,
                                         const std::string& headers) {
  UrlParts parts;
  if (!SplitUrl(url, &parts)) {
    SetLastResponseInfo(kErrorInternetInvalidUrl, std::string());
    SetLastSystemError(kErrorInternetInvalidUrl);
    return nullptr;
  }
  std::string proxy_host;
  uint16_t proxy_port = 0;
  bool proxied = session->Proxies().ProxyFor(parts.scheme, parts.host, &proxy_host, &proxy_port);
  if (parts.scheme == "http" || (parts.scheme == "ftp" && proxied)) {
    std::string user = parts.user, password = parts.password;
    auto request = std::make_unique<HttpRequest>(session, "GET", std::move(parts), user, password);
    if (!request->Send(headers)) return nullptr;
    return request;
  }
  if (parts.scheme == "ftp") {
    auto request = std::make_unique<FtpUrlRequest>(session);
    if (!request->Open(parts)) return nullptr;
    return request;
  }
  SetLastResponseInfo(kErrorInternetUnrecognizedScheme, std::string());
  SetLastSystemError(kErrorInternetUnrecognizedScheme);
  return nullptr;
}

bool GetLastResponseInfo(uint32_t* error, char* buffer, size_t size) {
  if (buffer == nullptr || size == 0) {
    SetLastSystemError(kErrorInsufficientBuffer);
    return false;
  }
  if (error != nullptr) *error = t_last_response.error;
  // Cut to the buffer: a long multi-line reply is diagnostics only.
  size_t n = t_last_response.text.size();
  if (n > size - 1) n = size - 1;
  memcpy(buffer, t_last_response.text.data(), n);
  buffer[n] = '\0';
  return true;
}

void SetLastResponseInfo(uint32_t error, const std::string& text) {
  t_last_response.error = error;
  t_last_response.text = text;
}

void StallWatch::Start(uint32_t window_ms, uint32_t min_bytes) {
  window_ms_ = window_ms;
  min_bytes_ = min_bytes;
  window_start_ = GetTickCount();
  window_bytes_ = 0;
}

bool StallWatch::Note(uint64_t bytes) {
  window_bytes_ += bytes;
  uint32_t elapsed = GetTickCount() - window_start_;
  if (elapsed < window_ms_) return true;
  if (window_bytes_ < min_bytes_) return false;
  window_start_ += elapsed;
  window_bytes_ = 0;
  return true;
}

}  // namespace platform
