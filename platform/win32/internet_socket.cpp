// TCP over Winsock 2, IPv4 and IPv6. Every socket is non-blocking and every
// wait goes through select with the caller's time limit, so a silent peer
// ends in a time-out, never a hang.
#include "platform/internet_socket.h"

#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>

#include <cstring>

#include "platform/internet_errors.h"

namespace platform {

namespace {

int32_t ErrorFromWinsock(int e) {
  switch (e) {
    case WSAECONNREFUSED:
    case WSAEHOSTUNREACH:
    case WSAENETUNREACH:
    case WSAEADDRNOTAVAIL:
    case WSAENETDOWN:
      return kErrorInternetCannotConnect;
    case WSAECONNRESET:
    case WSAENETRESET:
      return kErrorInternetConnectionReset;
    case WSAECONNABORTED:
    case WSAESHUTDOWN:
      return kErrorInternetConnectionAborted;
    case WSAETIMEDOUT:
      return kErrorInternetTimeout;
    case WSAEMFILE:
      return kErrorTooManyOpenFiles;
    case WSAENOBUFS:
      return kErrorNotEnoughMemory;
    case WSAENOTSOCK:
      return kErrorInvalidHandle;
    default:
      return kErrorInternetInternalError;
  }
}

bool FailSocket(int e) {
  SetLastSystemError(ErrorFromWinsock(e));
  return false;
}

bool FailLastSocketError() { return FailSocket(WSAGetLastError()); }

SOCKET AsSocket(NativeHandle h) { return static_cast<SOCKET>(h); }

enum class WaitKind { kRead, kWrite, kConnect };

// Waits until the socket is ready. 1 ready, 0 time-out, -1 error (the
// Winsock error in `*error`). A failed connect shows as an exception.
int WaitFor(SOCKET s, WaitKind kind, uint32_t timeout_ms, int* error) {
  fd_set ready, failed;
  FD_ZERO(&ready);
  FD_ZERO(&failed);
  FD_SET(s, &ready);
  FD_SET(s, &failed);
  timeval limit;
  limit.tv_sec = static_cast<long>(timeout_ms / 1000);
  limit.tv_usec = static_cast<long>(timeout_ms % 1000) * 1000;
  timeval* wait = timeout_ms == 0xFFFFFFFFu ? nullptr : &limit;
  int r = kind == WaitKind::kRead ? select(0, &ready, nullptr, &failed, wait)
                                  : select(0, nullptr, &ready, &failed, wait);
  if (r == SOCKET_ERROR) {
    *error = WSAGetLastError();
    return -1;
  }
  if (r == 0) return 0;
  if (FD_ISSET(s, &failed)) {
    int so_error = 0;
    int length = sizeof so_error;
    getsockopt(s, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&so_error), &length);
    *error = so_error != 0 ? so_error : WSAECONNRESET;
    return kind == WaitKind::kRead ? 1 : -1;  // a reader learns the error from recv
  }
  return 1;
}

// Winsock is started by Initialize(); programs and tests that never call it
// (a test's own main) still get their sockets: the start-up is counted, so
// one more is harmless.
bool WinsockStarted() {
  static const bool started = [] {
    WSADATA data;
    return WSAStartup(MAKEWORD(2, 2), &data) == 0;
  }();
  return started;
}

// A socket that child processes do not inherit, in non-blocking mode.
SOCKET OpenSocket(int family) {
  if (!WinsockStarted()) {
    WSASetLastError(WSASYSNOTREADY);
    return INVALID_SOCKET;
  }
  SOCKET s = WSASocketW(family, SOCK_STREAM, IPPROTO_TCP, nullptr, 0, WSA_FLAG_NO_HANDLE_INHERIT);
  if (s == INVALID_SOCKET && WSAGetLastError() == WSAEINVAL) {  // before Windows 7 SP1
    s = WSASocketW(family, SOCK_STREAM, IPPROTO_TCP, nullptr, 0, 0);
    if (s != INVALID_SOCKET) SetHandleInformation(reinterpret_cast<HANDLE>(s), HANDLE_FLAG_INHERIT, 0);
  }
  if (s == INVALID_SOCKET) return s;
  u_long on = 1;
  ioctlsocket(s, FIONBIO, &on);
  return s;
}

void NoDelay(SOCKET s) {
  BOOL one = TRUE;
  setsockopt(s, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&one), sizeof one);
}

std::string StripBrackets(const std::string& host) {
  if (host.size() >= 2 && host.front() == '[' && host.back() == ']')
    return host.substr(1, host.size() - 2);
  return host;
}

bool ConnectWithin(SOCKET s, const sockaddr* address, int length, uint32_t timeout_ms) {
  if (::connect(s, address, length) == 0) return true;
  int e = WSAGetLastError();
  if (e != WSAEWOULDBLOCK) return FailSocket(e);
  int w = WaitFor(s, WaitKind::kConnect, timeout_ms, &e);
  if (w == 0) return FailSocket(WSAETIMEDOUT);
  if (w < 0) return FailSocket(e);
  return true;
}

}  // namespace

TcpSocket::~TcpSocket() { Close(); }

TcpSocket::TcpSocket(TcpSocket&& other) noexcept : handle_(other.handle_) { other.handle_ = kNoHandle; }

TcpSocket& TcpSocket::operator=(TcpSocket&& other) noexcept {
  if (this != &other) {
    Close();
    handle_ = other.handle_;
    other.handle_ = kNoHandle;
  }
  return *this;
}

bool TcpSocket::Connect(const std::string& host, uint16_t port, uint32_t timeout_ms) {
  Close();
  std::string name = StripBrackets(host);
  if (name.empty()) {
    SetLastSystemError(kErrorInternetNameNotResolved);
    return false;
  }
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_protocol = IPPROTO_TCP;
  hints.ai_flags = AI_ADDRCONFIG;
  std::string service = std::to_string(port);
  addrinfo* list = nullptr;
  if (!WinsockStarted()) return FailSocket(WSASYSNOTREADY);
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
    SOCKET s = OpenSocket(a->ai_family);
    if (s == INVALID_SOCKET) {
      error = ErrorFromWinsock(WSAGetLastError());
      continue;
    }
    if (ConnectWithin(s, a->ai_addr, static_cast<int>(a->ai_addrlen), timeout_ms)) {
      NoDelay(s);
      handle_ = static_cast<NativeHandle>(s);
      break;
    }
    error = GetLastSystemError();
    closesocket(s);
  }
  freeaddrinfo(list);
  if (handle_ == kNoHandle) {
    SetLastSystemError(error);
    return false;
  }
  return true;
}

void TcpSocket::Close() {
  if (handle_ != kNoHandle) closesocket(AsSocket(handle_));
  handle_ = kNoHandle;
}

int64_t TcpSocket::Receive(void* buffer, size_t length, uint32_t timeout_ms) {
  if (handle_ == kNoHandle) {
    SetLastSystemError(kErrorInvalidHandle);
    return -1;
  }
  int chunk = length > 0x40000000u ? 0x40000000 : static_cast<int>(length);
  for (;;) {
    int e = 0;
    int w = WaitFor(AsSocket(handle_), WaitKind::kRead, timeout_ms, &e);
    if (w == 0) {
      SetLastSystemError(kErrorInternetTimeout);
      return -1;
    }
    if (w < 0) {
      FailSocket(e);
      return -1;
    }
    int n = ::recv(AsSocket(handle_), static_cast<char*>(buffer), chunk, 0);
    if (n >= 0) return n;
    e = WSAGetLastError();
    if (e == WSAEWOULDBLOCK || e == WSAEINTR) continue;
    FailSocket(e);
    return -1;
  }
}

bool TcpSocket::SendAll(const void* data, size_t length, uint32_t timeout_ms) {
  if (handle_ == kNoHandle) {
    SetLastSystemError(kErrorInvalidHandle);
    return false;
  }
  const char* p = static_cast<const char*>(data);
  while (length > 0) {
    int chunk = length > 0x40000000u ? 0x40000000 : static_cast<int>(length);
    int n = ::send(AsSocket(handle_), p, chunk, 0);
    if (n > 0) {
      p += n;
      length -= static_cast<size_t>(n);
      continue;
    }
    int e = WSAGetLastError();
    if (e == WSAEINTR) continue;
    if (e != WSAEWOULDBLOCK) return FailSocket(e);
    int w = WaitFor(AsSocket(handle_), WaitKind::kWrite, timeout_ms, &e);
    if (w == 0) {
      SetLastSystemError(kErrorInternetTimeout);
      return false;
    }
    if (w < 0) return FailSocket(e);
  }
  return true;
}

bool TcpSocket::IsStale() const {
  if (handle_ == kNoHandle) return true;
  int e = 0;
  // Readable while idle means the peer closed or broke the exchange.
  return WaitFor(AsSocket(handle_), WaitKind::kRead, 0, &e) != 0;
}

void TcpSocket::ShutdownWrite() {
  if (handle_ != kNoHandle) ::shutdown(AsSocket(handle_), SD_SEND);
}

void TcpSocket::ShutdownBoth() {
  if (handle_ != kNoHandle) ::shutdown(AsSocket(handle_), SD_BOTH);
}

bool TcpSocket::IsIpv6() const {
  sockaddr_storage s{};
  int length = sizeof(s);
  if (handle_ == kNoHandle ||
      getpeername(AsSocket(handle_), reinterpret_cast<sockaddr*>(&s), &length) != 0)
    return false;
  return s.ss_family == AF_INET6;
}

std::string TcpSocket::PeerAddress() const {
  sockaddr_storage s{};
  int length = sizeof(s);
  if (handle_ == kNoHandle ||
      getpeername(AsSocket(handle_), reinterpret_cast<sockaddr*>(&s), &length) != 0)
    return {};
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
  int length = 0;
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
  SOCKET sock = OpenSocket(s.ss_family);
  if (sock == INVALID_SOCKET) return FailLastSocketError();
  // SO_REUSEADDR would let another program take the port over on Windows;
  // exclusive use is what a listener wants here.
  BOOL one = TRUE;
  setsockopt(sock, SOL_SOCKET, SO_EXCLUSIVEADDRUSE, reinterpret_cast<const char*>(&one), sizeof one);
  if (::bind(sock, reinterpret_cast<sockaddr*>(&s), length) != 0 || ::listen(sock, 16) != 0) {
    int e = WSAGetLastError();
    closesocket(sock);
    return FailSocket(e);
  }
  sockaddr_storage bound{};
  int bound_length = sizeof(bound);
  getsockname(sock, reinterpret_cast<sockaddr*>(&bound), &bound_length);
  port_ = ntohs(bound.ss_family == AF_INET6 ? reinterpret_cast<sockaddr_in6*>(&bound)->sin6_port
                                            : reinterpret_cast<sockaddr_in*>(&bound)->sin_port);
  handle_ = static_cast<NativeHandle>(sock);
  return true;
}

bool TcpListener::Accept(TcpSocket* socket, uint32_t timeout_ms) {
  if (handle_ == kNoHandle) {
    SetLastSystemError(kErrorInvalidHandle);
    return false;
  }
  for (;;) {
    int e = 0;
    int w = WaitFor(AsSocket(handle_), WaitKind::kRead, timeout_ms, &e);
    if (w == 0) {
      SetLastSystemError(kErrorInternetTimeout);
      return false;
    }
    if (w < 0) return FailSocket(e);
    SOCKET s = ::accept(AsSocket(handle_), nullptr, nullptr);
    if (s == INVALID_SOCKET) {
      e = WSAGetLastError();
      if (e == WSAEWOULDBLOCK || e == WSAECONNRESET) continue;  // the caller went away meanwhile
      return FailSocket(e);
    }
    SetHandleInformation(reinterpret_cast<HANDLE>(s), HANDLE_FLAG_INHERIT, 0);
    u_long on = 1;
    ioctlsocket(s, FIONBIO, &on);
    NoDelay(s);
    *socket = TcpSocket(static_cast<NativeHandle>(s));
    return true;
  }
}

void TcpListener::Close() {
  if (handle_ != kNoHandle) closesocket(AsSocket(handle_));
  handle_ = kNoHandle;
  port_ = 0;
}

uint16_t FindFreeLoopbackPort() {
  TcpListener listener;
  if (!listener.Listen("127.0.0.1", 0)) return 0;
  return listener.Port();
}

}  // namespace platform
