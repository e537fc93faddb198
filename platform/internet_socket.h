// TCP sockets for the internet layer and for the test servers that stand in
// for misbehaving peers. Every wait has a time limit, so a silent peer ends
// in a time-out (kErrorInternetTimeout), never a hang. Failures set the
// thread's last system error (error.h).
//
// Thread safety: one socket is used by one thread at a time; Close() from a
// second thread is not supported (use ShutdownBoth() to wake a reader).
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/handle.h"

namespace platform {

class TcpSocket {
 public:
  TcpSocket() = default;
  ~TcpSocket();
  TcpSocket(const TcpSocket&) = delete;
  TcpSocket& operator=(const TcpSocket&) = delete;
  TcpSocket(TcpSocket&& other) noexcept;
  TcpSocket& operator=(TcpSocket&& other) noexcept;

  // Resolves `host` (a name, an IPv4 or an IPv6 literal, with or without
  // brackets) through the system resolver and connects to the first address
  // that answers, each attempt limited to `timeout_ms`.
  bool Connect(const std::string& host, uint16_t port, uint32_t timeout_ms);
  bool IsOpen() const { return handle_ != kNoHandle; }
  void Close();

  // Waits up to `timeout_ms` for data. Returns the bytes received (at most
  // `length`), 0 when the peer closed its side, -1 on an error or time-out.
  int64_t Receive(void* buffer, size_t length, uint32_t timeout_ms);
  // Sends every byte or fails; each wait for buffer space is limited.
  bool SendAll(const void* data, size_t length, uint32_t timeout_ms);
  bool SendAll(const std::string& text, uint32_t timeout_ms) {
    return SendAll(text.data(), text.size(), timeout_ms);
  }

  // True when an idle connection can no longer be used: the peer closed it
  // or sent something nobody asked for. Does not wait.
  bool IsStale() const;
  void ShutdownWrite();
  void ShutdownBoth();

  bool IsIpv6() const;
  // Numeric address of the peer ("127.0.0.1", "::1"); empty when unknown.
  std::string PeerAddress() const;

  // Used by the listener to hand over an accepted connection.
  explicit TcpSocket(NativeHandle handle) : handle_(handle) {}

 private:
  NativeHandle handle_ = kNoHandle;
};

class TcpListener {
 public:
  TcpListener() = default;
  ~TcpListener();
  TcpListener(const TcpListener&) = delete;
  TcpListener& operator=(const TcpListener&) = delete;

  // Listens on a numeric address ("127.0.0.1", "::1"); port 0 picks a free one.
  bool Listen(const std::string& address, uint16_t port);
  uint16_t Port() const { return port_; }
  // Waits up to `timeout_ms` for a connection. False on time-out or error.
  bool Accept(TcpSocket* socket, uint32_t timeout_ms);
  void Close();
  bool IsOpen() const { return handle_ != kNoHandle; }

 private:
  NativeHandle handle_ = kNoHandle;
  uint16_t port_ = 0;
};

// A loopback port that was free a moment ago (for servers started as other
// programs, which must be told their port).
uint16_t FindFreeLoopbackPort();

}  // namespace platform
