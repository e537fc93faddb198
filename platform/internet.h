// HTTP/1.1 and FTP clients shaped like the Windows internet API the transfer
// engine drives: a session (agent, receive time-out, preconfigured proxy),
// connections, requests with extra headers, status and Content-Length
// queries, reads that fill the caller's buffer, FTP file opening and raw FTP
// commands with or without a data connection, and the last response text.
//
// HTTP: keep-alive (idle connections are pooled per session and reused),
// Content-Length, chunked and close-delimited bodies, redirects 301, 302,
// 303, 307 and 308 followed up to 10 in a row, Basic authorisation when a
// user name is given, proxies from http_proxy / no_proxy. FTP: USER, PASS,
// TYPE I, SIZE, PASV (EPSV on IPv6), REST, RETR. Names and addresses through
// the system resolver, IPv4 and IPv6.
//
// Every read waits at most the session's receive time-out; a peer that
// closes before the declared end of a body is an error, never a hang.
// Failures set the thread's last system error (error.h, internet_errors.h).
//
// Thread safety: a session and everything opened from it are used by one
// thread at a time. A connection must outlive the requests and streams
// opened from it.
#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>
#include <functional>
#include <string>
#include <vector>

#include "platform/internet_parse.h"
#include "platform/internet_socket.h"

namespace platform {

constexpr uint32_t kDefaultReceiveTimeoutMs = 10000;
constexpr int kMaxHttpRedirects = 10;
// Interim replies (HTTP 1xx before the answer; FTP 1xx before the greeting
// and before each command's final reply, a data command's preliminary reply
// included) accepted per request; a server that sends more is refused with
// kErrorHttpInvalidServerResponse, not waited on.
constexpr int kMaxInterimReplies = 5;
// The stall rule on top of the receive time-out: a request or data
// connection that brings fewer than kDefaultStallMinBytes in any
// kDefaultStallWindowMs fails with a time-out (a server trickling a byte
// every few seconds never trips the receive time-out and would hold the
// transfer for ever). 4 KiB in 30 s is about 140 bytes a second, far below
// any working line.
constexpr uint32_t kDefaultStallWindowMs = 30000;
constexpr uint32_t kDefaultStallMinBytes = 4096;
constexpr uint32_t kCancelPollMs = 200;

// Counts bytes against the stall rule.
class StallWatch {
 public:
  void Start(uint32_t window_ms, uint32_t min_bytes);
  // Adds `bytes` that just came; false once a whole window brought fewer
  // than the minimum.
  bool Note(uint64_t bytes);

 private:
  uint32_t window_ms_ = kDefaultStallWindowMs;
  uint32_t min_bytes_ = kDefaultStallMinBytes;
  uint32_t window_start_ = 0;
  uint64_t window_bytes_ = 0;
};

class InternetSession {
 public:
  // The preconfigured proxy (internet_proxy.h).
  explicit InternetSession(std::string agent);
  InternetSession(std::string agent, ProxySettings proxies);
  ~InternetSession();
  InternetSession(const InternetSession&) = delete;
  InternetSession& operator=(const InternetSession&) = delete;

  void SetReceiveTimeout(uint32_t milliseconds) { receive_timeout_ms_ = milliseconds; }
  uint32_t ReceiveTimeout() const { return receive_timeout_ms_; }
  // The stall rule of every request and data connection opened from now on
  // (tests shorten the window).
  void SetStallRule(uint32_t window_ms, uint32_t min_bytes) {
    stall_window_ms_ = window_ms;
    stall_min_bytes_ = min_bytes;
  }
  void StartStallWatch(StallWatch* watch) const { watch->Start(stall_window_ms_, stall_min_bytes_); }
  // Asked every kCancelPollMs while a request waits for its answer's head
  // or an FTP command for its reply (a server may take the whole receive
  // time-out to answer); true ends the wait with
  // kErrorInternetOperationCancelled (an FTP control connection is closed).
  void SetCancelCheck(std::function<bool()> check) { cancel_check_ = std::move(check); }
  bool Cancelled() const { return cancel_check_ && cancel_check_(); }
  const std::string& Agent() const { return agent_; }
  const ProxySettings& Proxies() const { return proxies_; }

  // Keep-alive pool: an idle connection to "host:port" (or null), and the
  // hand-back of one whose last response was read to its end.
  std::unique_ptr<TcpSocket> TakeIdle(const std::string& key);
  void PutIdle(const std::string& key, std::unique_ptr<TcpSocket> socket);
  // Connections opened so far (for tests of connection reuse).
  uint32_t ConnectionsOpened() const { return connections_opened_; }
  void CountConnection() { ++connections_opened_; }

 private:
  std::string agent_;
  ProxySettings proxies_;
  uint32_t receive_timeout_ms_ = kDefaultReceiveTimeoutMs;
  uint32_t stall_window_ms_ = kDefaultStallWindowMs;
  uint32_t stall_min_bytes_ = kDefaultStallMinBytes;
  std::function<bool()> cancel_check_;
  struct Idle {
    std::string key;
    std::unique_ptr<TcpSocket> socket;
  };
  std::vector<Idle> idle_;
  uint32_t connections_opened_ = 0;
};

// Something to read from: a response body or an FTP data connection.
class InternetStream {
 public:
  virtual ~InternetStream() = default;
  // Reads until `size` bytes are in `buffer` or the data ends; `*read` is 0
  // at the end. False on a network failure or time-out, or when the peer
  // closed before the declared length (bytes before the failure are
  // returned first, by a successful call).
  virtual bool Read(void* buffer, uint32_t size, uint32_t* read) = 0;
};

// A request whose answer has a status and a length: an HTTP request, or a
// whole-URL FTP fetch (status 200 when the file could be opened).
class InternetRequest : public InternetStream {
 public:
  virtual bool QueryStatusCode(uint32_t* status) const = 0;
  // The Content-Length text into `buffer` (capacity `size`, terminator
  // included). False with kErrorHttpHeaderNotFound when the answer has none,
  // kErrorInsufficientBuffer when it does not fit.
  virtual bool QueryContentLength(char* buffer, size_t size) const = 0;
};

class HttpConnection;

class HttpRequest : public InternetRequest {
 public:
  HttpRequest(InternetSession* session, std::string verb, UrlParts target, std::string user,
              std::string password);
  ~HttpRequest() override;

  // Sends the request with `extra_headers` (lines ended with "\r\n") and
  // reads the answer's head, following redirects. May be called again on the
  // same request (an unread body is dropped first).
  bool Send(const std::string& extra_headers);
  bool QueryStatusCode(uint32_t* status) const override;
  bool QueryContentLength(char* buffer, size_t size) const override;
  // Any header of the answer.
  bool QueryHeader(const char* name, std::string* value) const;
  const HttpResponseHead& Head() const { return head_; }
  bool Read(void* buffer, uint32_t size, uint32_t* read) override;
  // The URL that answered (after redirects).
  std::string FinalUrl() const;

 private:
  bool SendOnce(const std::string& extra_headers, bool* retry_fresh);
  bool ReadHead();
  void DropConnection();
  void FinishBody();
  bool FillBuffer();
  std::string PoolKey() const;

  InternetSession* session_;
  std::string verb_;
  UrlParts target_;
  std::string user_, password_;
  std::unique_ptr<TcpSocket> socket_;
  bool reused_ = false;
  bool via_proxy_ = false;
  std::string proxy_key_;
  bool have_response_ = false;
  HttpResponseHead head_;
  BodyFraming framing_;
  uint64_t body_left_ = 0;
  bool body_done_ = false;
  bool keep_alive_ = false;
  int32_t pending_error_ = 0;
  // A redirect from a server that is not this machine may not lead to a
  // loopback, link-local or private address (a hostile server reaching the
  // player's router or local services): the first connection's peer decides.
  bool redirected_ = false;
  bool origin_loopback_ = false;
  StallWatch stall_;
  ChunkedDecoder chunked_;
  std::vector<char> buffer_;  // bytes received and not yet handed out
  size_t buffer_start_ = 0, buffer_end_ = 0;
};

class HttpConnection {
 public:
  // Port 0 means 80.
  HttpConnection(InternetSession* session, std::string server, uint16_t port, std::string user,
                 std::string password);
  // Checks that the server (or the proxy in front of it) can be resolved.
  bool Connect();
  // HttpOpenRequest: nothing is sent yet. Null with kErrorInvalidParameter
  // for an empty verb or a path not starting with '/'.
  std::unique_ptr<HttpRequest> OpenRequest(const std::string& verb, const std::string& path);

 private:
  InternetSession* session_;
  std::string server_;
  uint16_t port_;
  std::string user_, password_;
};

class FtpConnection;

// The data connection of a transfer. Reading ends at the server's close;
// destroying the stream closes it and collects the server's final reply.
class FtpDataStream : public InternetStream {
  friend class FtpConnection;

 public:
  FtpDataStream(FtpConnection* control, TcpSocket socket, uint64_t size);
  ~FtpDataStream() override;
  bool Read(void* buffer, uint32_t size, uint32_t* read) override;
  // FtpGetFileSize: the size SIZE reported before the transfer (0 unknown).
  uint64_t FileSize() const { return size_; }
  bool FileSizeKnown() const { return size_known_; }
  void Detach() { control_ = nullptr; }

 private:
  FtpConnection* control_;
  TcpSocket socket_;
  uint64_t size_;
  bool size_known_ = false;
  bool ended_ = false;
  StallWatch stall_;
};

class FtpConnection {
 public:
  explicit FtpConnection(InternetSession* session);
  ~FtpConnection();

  // Port 0 means 21. Reads the greeting, logs in ("anonymous" when no user
  // is given) and sets TYPE I. False with the server's text as the last
  // response.
  bool Connect(const std::string& server, uint16_t port, const std::string& user,
               const std::string& password);
  void Close();  // QUIT

  // FtpOpenFile for reading in binary: SIZE, passive data connection, RETR.
  std::unique_ptr<FtpDataStream> OpenFile(const std::string& path);
  // FtpCommand. Without `data`, sends the command and reads its reply; a
  // "PASV" command opens the passive data address (EPSV on IPv6) that the
  // next data command uses. With `data`, opens (or uses) the passive data
  // connection, sends the command and expects a preliminary reply. A reply of
  // class 4 or 5 fails with kErrorInternetExtendedError.
  bool Command(const std::string& command, std::unique_ptr<FtpDataStream>* data);
  const FtpReply& LastReply() const { return last_reply_; }

  // Used by FtpDataStream: the final reply after a transfer, or after the
  // data connection was closed early.
  bool FinishTransfer(bool complete);

 private:
  friend class FtpDataStream;
  bool SendCommand(const std::string& line);
  // One reply, the time-out in slices with the cancel check between them.
  bool ReadReply(FtpReply* reply, uint32_t timeout_ms);
  // The reply that ends the current request: 1xx replies are skipped (or,
  // with `stop_at_preliminary`, the first is returned: a data command's
  // go-ahead), counting against kMaxInterimReplies for the whole request.
  bool AwaitReply(FtpReply* reply, bool stop_at_preliminary);
  // Sends a command (a new request) and awaits its reply.
  bool Exchange(const std::string& line, FtpReply* reply, bool data_command = false);
  bool OpenPassive(uint16_t* port);
  bool Fail(int32_t error);

  InternetSession* session_;
  TcpSocket control_;
  std::string buffer_;
  FtpReply last_reply_;
  uint16_t pending_data_port_ = 0;  // from a raw "PASV", for the next data command
  FtpDataStream* active_ = nullptr;
  int interim_ = 0;  // 1xx replies of the current request
};

// InternetOpenUrl: opens an http:// or ftp:// URL and sends the request at
// once (with `headers`), following redirects. An ftp:// URL logs in
// (anonymously unless the URL names a user), asks SIZE and retrieves the
// file; its status is 200 and its Content-Length the size. Through an
// ftp_proxy the ftp:// URL is asked of that HTTP proxy instead.
std::unique_ptr<InternetRequest> OpenUrl(InternetSession* session, const std::string& url,
                                         const std::string& headers);

// The last server response text on this thread (InternetGetLastResponseInfo):
// `*error` is the system error of the failure that recorded it. The text is
// cut to fit `buffer` (never overflows). False only without a buffer.
bool GetLastResponseInfo(uint32_t* error, char* buffer, size_t size);
void SetLastResponseInfo(uint32_t error, const std::string& text);

}  // namespace platform
