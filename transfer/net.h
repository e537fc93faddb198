// CNet: the HTTP/FTP download engine. Fetches one file per call from the
// download server into a local path, in one of four methods:
//   1 URL             OpenUrlSession / DownloadUrl / CloseUrlSession
//   2 FTP             ConnectFtp / DownloadFtp / CloseFtp
//   3 HTTP (resume)   ConnectHttp / DownloadHttp / CloseHttp
//   4 FTP (resume)    ConnectFtpResume / DownloadFtpResume / CloseFtpResume
// Methods 3 and 4 write to "<local path>.dwn" and continue it on the next
// call (Range / REST), moving it into place when complete.
//
// Thread safety: one engine is driven by one thread at a time; the
// callbacks run on that thread, inside the download operation. Another
// thread stops a transfer only through the cancel check.
#pragma once
#include <cstdint>
#include <memory>
#include <string>

#include "transfer/transfer_codes.h"
#include "update/receive_tap.h"
#include "update/roles.h"

namespace platform {
class InternetSession;
class HttpConnection;
class FtpConnection;
class InternetStream;
class File;
}  // namespace platform

namespace kivro {

// Connection states of CNet.
enum NetState : int32_t {
  kNetClosed = 0,
  kNetSessionOpen = 1,  // an HTTP connection or a URL session
  kNetFtpOpen = 2,
};

class CNet : public I_Download, public I_ReceiveTapHost {
 public:
  static constexpr uint32_t kChunkSize = 100000;
  static constexpr uint32_t kReceiveTimeoutMs = 10000;
  static constexpr int kOpenAttempts = 5;

  CNet();
  ~CNet() override;
  CNet(const CNet&) = delete;
  CNet& operator=(const CNet&) = delete;

  void SetOption(int32_t which, const char* value) override;
  void SetCancelCheck(CancelCheckFn check) override;
  void SetProgressCallback(DownloadProgressFn callback) override;
  void SetPercentCallback(PercentFn callback) override;
  int32_t OpenUrlSession(const char* agent) override;
  int32_t DownloadUrl(const char* local_path, const char* url, int32_t reserved) override;
  void CloseUrlSession() override;
  int32_t ConnectHttp(const char* agent, const char* server, const char* user,
                      const char* password, int32_t port) override;
  int32_t DownloadHttp(const char* local_path, const char* url, int32_t reserved) override;
  void CloseHttp() override;
  int32_t ConnectFtp(const char* agent, const char* server, const char* user,
                     const char* password, int32_t port) override;
  int32_t DownloadFtp(const char* local_path, const char* url, int32_t reserved) override;
  void CloseFtp() override;
  int32_t ConnectFtpResume(const char* agent, const char* server, const char* user,
                           const char* password, int32_t port) override;
  int32_t DownloadFtpResume(const char* local_path, const char* url, int32_t reserved) override;
  void CloseFtpResume() override;
  void Release() override;

  // Not part of I_Download. The receive time-out set on every new session
  // (10000 ms unless changed; tests shorten it so a stall costs little).
  void SetReceiveTimeout(uint32_t milliseconds) { receive_timeout_ms_ = milliseconds; }
  // Not part of I_Download: sees every byte written, for hashing on arrival.
  void SetReceiveTap(I_ReceiveTap* tap) override { tap_ = tap; }

  // For tests and tools.
  int32_t State() const { return state_; }  // a NetState
  uint32_t Total() const { return total_; }
  uint32_t Received() const { return received_; }

 private:
  void CloseHandles();
  int32_t OpenSession(const char* agent);
  int32_t Connect(const char* agent, const char* server, const char* user, const char* password,
                  int32_t port, bool ftp);
  // `written` is the file on disk (the tap is told it); `name` is for messages.
  int32_t ReceiveLoop(platform::InternetStream* source, platform::File* file, uint32_t start,
                      const std::string& written, const std::string& name, char* buffer);
  void ReportProgress();
  int32_t FinishTemporary(const std::string& temporary, const std::string& local_path);
  int32_t Prepare(const char* local_path, const char* url, bool need_path, std::string* path);
  // Opens the `.dwn` file of a resumable download: created empty when
  // missing (`create_failed` when that fails), else opened at its end;
  // `*offset` receives its length.
  int32_t OpenTemporary(const std::string& temporary, int32_t create_failed, platform::File* file,
                        uint64_t* offset);
  int32_t FetchUrl(const std::string& local_path, const std::string& url);
  int32_t FetchHttp(const std::string& local_path, const std::string& path);
  int32_t FetchFtp(const std::string& local_path, const std::string& path);
  int32_t FetchFtpResume(const std::string& local_path, const std::string& path);

  std::unique_ptr<platform::InternetSession> session_;
  std::unique_ptr<platform::HttpConnection> http_;
  std::unique_ptr<platform::FtpConnection> ftp_;
  uint32_t total_ = 0;
  uint32_t received_ = 0;
  int32_t last_percent_ = 0;
  int32_t state_ = kNetClosed;  // a NetState
  CancelCheckFn cancel_check_ = nullptr;
  DownloadProgressFn progress_ = nullptr;
  PercentFn percent_ = nullptr;
  uint32_t receive_timeout_ms_ = kReceiveTimeoutMs;
  I_ReceiveTap* tap_ = nullptr;
};

// Helpers shared with the peer-to-peer adapter and tested on their own.
namespace net_detail {
// The scheme check: "HTTP://" or "FTP://" (any case) followed by no '/'.
bool UrlCheck(const char* url);
// The text from the URL's third '/' on; false with fewer than three.
bool ExtractPath(const std::string& url, std::string* path);
// The temporary name of methods 3 and 4.
std::string TemporaryName(const std::string& local_path);
}  // namespace net_detail

}  // namespace kivro
