#include "platform/internet_socket.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/internet_errors.h"

namespace platform {

namespace {

int32_t ErrorFromSocketErrno(int e) {
  switch (e) {
    case ECONNREFUSED:
    case EHOSTUNREACH:
    case ENETUNREACH:
    case EADDRNOTAVAIL:
      return kErrorInternetCannotConnect;
    case ECONNRESET:
    case EPIPE:
      return kErrorInternetConnectionReset;
    case ECONNABORTED:
      return kErrorInternetConnectionAborted;
    case ETIMEDOUT:
      return kErrorInternetTimeout;
    case EMFILE:
    case ENFILE:
      return kErrorTooManyOpenFiles;
    case ENOMEM:
    case ENOBUFS:
      return kErrorNotEnoughMemory;
    default:
      return kErrorInternetInternalError;
  }
}

bool FailSocket(int e) {
  SetLastSystemError(ErrorFromSocketErrno(e));
  return false;
}

// Waits for `events` on `fd`. 1 ready, 0 time-out, -1 error.
int WaitFor(int fd, short events, uint32_t timeout_ms) {
  pollfd p{fd, events, 0};
  for (;;) {
    int r = poll(&p, 1, timeout_ms > 0x7FFFFFFFu ? -1 : static_cast<int>(timeout_ms));
    if (r < 0 && errno == EINTR) continue;  // a signal is no reason to give up
    if (r < 0) return -1;
    return r == 0 ? 0 : 1;
  }
}

void SetNonBlocking(int fd, bool on) {
  int flags = fcntl(fd, F_GETFL, 0);
  if (flags < 0) return;
  fcntl(fd, F_SETFL, on ? (flags | O_NONBLOCK) : (flags & ~O_NONBLOCK));
}

std::string StripBrackets(const std::string& host) {
  if (host.size() >= 2 && host.front() == '[' && host.back() == ']')
    return host.substr(1, host.size() - 2);
  return host;
}

// Connects `fd` to `address` within the time limit.
bool ConnectWithin(int fd, const sockaddr* address, socklen_t length, uint32_t timeout_ms) {
  SetNonBlocking(fd, true);
  int r = ::connect(fd, address, length);
  if (r != 0 && errno != EINPROGRESS) return FailSocket(errno);
  if (r != 0) {
    int w = WaitFor(fd, POLLOUT, timeout_ms);
    if (w == 0) {
      SetLastSystemError(kErrorInternetTimeout);
      return false;
    }
    if (w < 0) return FailSocket(errno);
    int error = 0;
    socklen_t error_length = sizeof(error);
    if (getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &error_length) != 0) return FailSocket(errno);
    if (error != 0) return FailSocket(error);
  }
  SetNonBlocking(fd, false);
  return true;
}

}  // namespace

TcpSocket::~TcpSocket() { Close(); }

TcpSocket::TcpSocket(TcpSocket&& other) noexcept : handle_(other.handle_) { other.handle_ = -1; }

TcpSocket& TcpSocket::operator=(TcpSocket&& other) noexcept {
  if (this != &other) {
    Close();
    handle_ = other.handle_;
    other.handle_ = -1;
  }
  return *this;
}

bool TcpSocket::Connect(const std::string& host, uint16_t port, uint32_t timeout_ms) {
  Close();
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_flags = AI_ADDRCONFIG;
  std::string name = StripBrackets(host);
  if (name.empty()) {
    SetLastSystemError(kErrorInternetNameNotResolved);
    return false;
  }
  std::string service = std::to_string(port);
  addrinfo* list = nullptr;
  int r = getaddrinfo(name.c_str(), service.c_str(), &hints, &list);
  if (r != 0) {
    // A machine with only loopback configured rejects AI_ADDRCONFIG lookups.
    hints.ai_flags = 0;
    r = getaddrinfo(name.c_str(), service.c_str(), &hints, &list);
  }
  if (r != 0 || list == nullptr) {
    SetLastSystemError(kErrorInternetNameNotResolved);
    return false;
  }
  int32_t error = kErrorInternetCannotConnect;
  for (addrinfo* a = list; a != nullptr; a = a->ai_next) {
    int fd = ::socket(a->ai_family, a->ai_socktype | SOCK_CLOEXEC, a->ai_protocol);
    if (fd < 0) {
      error = ErrorFromSocketErrno(errno);
      continue;
    }
    if (ConnectWithin(fd, a->ai_addr, a->ai_addrlen, timeout_ms)) {
      int one = 1;
      setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof(one));
      handle_ = fd;
      break;
    }
    error = GetLastSystemError();
    ::close(fd);
  }
  freeaddrinfo(list);
  if (handle_ < 0) {
    SetLastSystemError(error);
    return false;
  }
  return true;
}

void TcpSocket::Close() {
  if (handle_ >= 0) ::close(handle_);
  handle_ = -1;
}

int64_t TcpSocket::Receive(void* buffer, size_t length, uint32_t timeout_ms) {
  if (handle_ < 0) {
    SetLastSystemError(kErrorInvalidHandle);
    return -1;
  }
  for (;;) {
    int w = WaitFor(handle_, POLLIN, timeout_ms);
    if (w == 0) {
      SetLastSystemError(kErrorInternetTimeout);
      return -1;
    }
    if (w < 0) {
      FailSocket(errno);
      return -1;
    }
    ssize_t n = ::recv(handle_, buffer, length, MSG_DONTWAIT);
    if (n >= 0) return n;
    if (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK) continue;
    FailSocket(errno);
    return -1;
  }
}

bool TcpSocket::SendAll(const void* data, size_t length, uint32_t timeout_ms) {
  if (handle_ < 0) {
    SetLastSystemError(kErrorInvalidHandle);
    return false;
  }
  const char* p = static_cast<const char*>(data);
  while (length > 0) {
    ssize_t n = ::send(handle_, p, length, MSG_NOSIGNAL | MSG_DONTWAIT);
    if (n > 0) {
      p += n;
      length -= static_cast<size_t>(n);
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) return FailSocket(errno);
    int w = WaitFor(handle_, POLLOUT, timeout_ms);
    if (w == 0) {
      SetLastSystemError(kErrorInternetTimeout);
      return false;
    }
    if (w < 0) return FailSocket(errno);
  }
  return true;
}

bool TcpSocket::IsStale() const {
  if (handle_ < 0) return true;
  pollfd p{static_cast<int>(handle_), POLLIN, 0};
  int r = poll(&p, 1, 0);
  // Readable while idle means the peer closed or broke the exchange.
  return r != 0;
}

void TcpSocket::ShutdownWrite() {
  if (handle_ >= 0) ::shutdown(handle_, SHUT_WR);
}

void TcpSocket::ShutdownBoth() {
  if (handle_ >= 0) ::shutdown(handle_, SHUT_RDWR);
}

bool TcpSocket::IsIpv6() const {
  sockaddr_storage s{};
  socklen_t length = sizeof(s);
  if (handle_ < 0 || getpeername(handle_, reinterpret_cast<sockaddr*>(&s), &length) != 0) return false;
  return s.ss_family == AF_INET6;
}

std::string TcpSocket::PeerAddress() const {
  sockaddr_storage s{};
  socklen_t length = sizeof(s);
  if (handle_ < 0 || getpeername(handle_, reinterpret_cast<sockaddr*>(&s), &length) != 0) return {};
  char text[INET6_ADDRSTRLEN] = {};
  if (s.ss_family == AF_INET6) {
    auto* a = reinterpret_cast<sockaddr_in6*>(&s);
    // An IPv4 peer seen through an IPv6 socket is named as IPv4.
    if (IN6_IS_ADDR_V4MAPPED(&a->sin6_addr)) {
      inet_ntop(AF_INET, &a->sin6_addr.s6_addr[12], text, sizeof(text));
    } else {
      inet_ntop(AF_INET6, &a->sin6_addr, text, sizeof(text));
    }
  } else if (s.ss_family == AF_INET) {
    inet_ntop(AF_INET, &reinterpret_cast<sockaddr_in*>(&s)->sin_addr, text, sizeof(text));
  }
  return text;
}

TcpListener::~TcpListener() { Close(); }

bool TcpListener::Listen(const std::string& address, uint16_t port) {
  Close();
  sockaddr_storage s{};
  socklen_t length = 0;
  std::string name = StripBrackets(address);
  auto* v4 = reinterpret_cast<sockaddr_in*>(&s);
  auto* v6 = reinterpret_cast<sockaddr_in6*>(&s);
  if (inet_pton(AF_INET, name.c_str(), &v4->sin_addr) == 1) {
    v4->sin_family = AF_INET;
    v4->sin_port = htons(port);
    length = sizeof(sockaddr_in);
  } else if (inet_pton(AF_INET6, name.c_str(), &v6->sin6_addr) == 1) {
    v6->sin6_family = AF_INET6;
    v6->sin6_port = htons(port);
    length = sizeof(sockaddr_in6);
  } else {
    SetLastSystemError(kErrorInvalidParameter);
    return false;
  }
  int fd = ::socket(s.ss_family, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return FailSocket(errno);
  int one = 1;
  setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof(one));
  if (::bind(fd, reinterpret_cast<sockaddr*>(&s), length) != 0 || ::listen(fd, 16) != 0) {
    int e = errno;
    ::close(fd);
    return FailSocket(e);
  }
  sockaddr_storage bound{};
  socklen_t bound_length = sizeof(bound);
  getsockname(fd, reinterpret_cast<sockaddr*>(&bound), &bound_length);
  port_ = ntohs(bound.ss_family == AF_INET6 ? reinterpret_cast<sockaddr_in6*>(&bound)->sin6_port
                                            : reinterpret_cast<sockaddr_in*>(&bound)->sin_port);
  handle_ = fd;
  return true;
}

bool TcpListener::Accept(TcpSocket* socket, uint32_t timeout_ms) {
  if (handle_ < 0) {
    SetLastSystemError(kErrorInvalidHandle);
    return false;
  }
  int w = WaitFor(handle_, POLLIN, timeout_ms);
  if (w == 0) {
    SetLastSystemError(kErrorInternetTimeout);
    return false;
  }
  if (w < 0) return FailSocket(errno);
  int fd = ::accept4(handle_, nullptr, nullptr, SOCK_CLOEXEC);
  if (fd < 0) return FailSocket(errno);
  int one = 1;
  setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof(one));
  *socket = TcpSocket(fd);
  return true;
}

void TcpListener::Close() {
  if (handle_ >= 0) ::close(handle_);
  handle_ = -1;
  port_ = 0;
}

uint16_t FindFreeLoopbackPort() {
  TcpListener listener;
  if (!listener.Listen("127.0.0.1", 0)) return 0;
  return listener.Port();
}

}  // namespace platform
