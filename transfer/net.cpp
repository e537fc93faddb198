#include "transfer/net.h"

#include <cstdio>
#include <cstring>

#include "platform/file.h"
#include "platform/internet.h"
#include "platform/internet_errors.h"
#include "update/last_error.h"

namespace kivro {

namespace {

constexpr uint64_t kFourGiB = 0x100000000ull;

const char kMsgCreate416[] =
    "CREATE FILE FAIL TO DOWNLOAD FROM FRONT OF FILE BECAUSE OF HTTP REQUEST RESULT(STATUS) CODE 416";
// A ranged request answered with the whole file (200) restarts the same way.
const char kMsgCreate200[] =
    "CREATE FILE FAIL TO DOWNLOAD FROM FRONT OF FILE BECAUSE OF HTTP REQUEST RESULT(STATUS) CODE 200";
const char kMsgNot200[] = "HTTP REQUEST SUCCESS BUT RESULT(STATUS) CODE IS NOT HTTP_STATUS_OK(200)";
const char kMsgNot206[] =
    "HTTP REQUEST SUCCESS BUT RESULT(STATUS) CODE IS NOT HTTP_STATUS_PARTIAL_CONTENT(206)";
const char kMsgWrite[] = "FAIL TO WRITE RECEIVED DATA ON FILE";
const char kMsgPasv[] = "FTP COMMAND [PASV] FAIL";
const char kMsgRest[] = "FTP COMMAND [REST] FAIL";
const char kMsgRetr[] = "FTP COMMAND [RETR] FAIL";

int32_t Fail(int32_t code, int32_t system_error, const char* text = nullptr) {
  SetLastErrorInfo(code, system_error, text);
  return code;
}

int32_t FailTooLarge(uint64_t size) {
  char text[96];
  snprintf(text, sizeof(text), "FILE SIZE [%llu] IS 4 GIB OR MORE",
           static_cast<unsigned long long>(size));
  return Fail(kNetFileTooLarge, 0, text);
}

// "ERROR CODE : [%d], ERROR MSG : [%s]" from the last server response.
std::string ResponseText() {
  uint32_t error = 0;
  char buffer[200];
  if (!platform::GetLastResponseInfo(&error, buffer, sizeof(buffer)))
    return "InternetGetLastResponseInfo() FAIL";
  char text[256];
  snprintf(text, sizeof(text), "ERROR CODE : [%d], ERROR MSG : [%s]", static_cast<int>(error),
           buffer);
  return text;
}

std::string Text(const char* s) { return s != nullptr ? s : ""; }

}  // namespace

namespace net_detail {

bool UrlCheck(const char* url) {
  if (url == nullptr) return false;
  const char* slash = strchr(url, '/');
  if (slash == nullptr || slash[1] == '\0') return false;
  size_t length = static_cast<size_t>(slash - url) + 2;  // through the character after '/'
  auto same = [url](const char* scheme, size_t n) {
    for (size_t i = 0; i < n; ++i) {
      char c = url[i];
      if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
      if (c != scheme[i]) return false;
    }
    return true;
  };
  bool scheme = (length == 7 && same("HTTP://", 7)) || (length == 6 && same("FTP://", 6));
  return scheme && url[length] != '/';
}

bool ExtractPath(const std::string& url, std::string* path) {
  size_t pos = std::string::npos;
  for (int i = 0; i < 3; ++i) {
    pos = url.find('/', pos == std::string::npos ? 0 : pos + 1);
    if (pos == std::string::npos) return false;
  }
  *path = url.substr(pos);
  return true;
}

std::string TemporaryName(const std::string& local_path) { return local_path + "." + "dwn"; }

}  // namespace net_detail

CNet::CNet() = default;

CNet::~CNet() { CloseHandles(); }

void CNet::SetOption(int32_t, const char*) {}
void CNet::SetCancelCheck(CancelCheckFn check) { cancel_check_ = check; }
void CNet::SetProgressCallback(DownloadProgressFn callback) { progress_ = callback; }
void CNet::SetPercentCallback(PercentFn callback) { percent_ = callback; }
void CNet::Release() { delete this; }

void CNet::CloseHandles() {
  ftp_.reset();  // says QUIT
  http_.reset();
  session_.reset();
  state_ = kNetClosed;
}

void CNet::CloseUrlSession() { CloseHandles(); }
void CNet::CloseHttp() { CloseHandles(); }
void CNet::CloseFtp() { CloseHandles(); }
void CNet::CloseFtpResume() { CloseHandles(); }

int32_t CNet::OpenSession(const char* agent) {
  CloseHandles();
  session_ = std::make_unique<platform::InternetSession>(Text(agent));
  session_->SetReceiveTimeout(receive_timeout_ms_);
  return kNetDone;
}

int32_t CNet::OpenUrlSession(const char* agent) {
  int32_t r = OpenSession(agent);
  if (r != kNetDone) return r;
  state_ = kNetSessionOpen;
  return kNetDone;
}

int32_t CNet::Connect(const char* agent, const char* server, const char* user,
                      const char* password, int32_t port, bool ftp) {
  int32_t r = OpenSession(agent);
  if (r != kNetDone) return r;
  bool ok = false;
  if (port < 0 || port > 65535) {
    platform::SetLastResponseInfo(platform::kErrorInvalidParameter, "");
    platform::SetLastSystemError(platform::kErrorInvalidParameter);
  } else if (ftp) {
    ftp_ = std::make_unique<platform::FtpConnection>(session_.get());
    ok = ftp_->Connect(Text(server), static_cast<uint16_t>(port), Text(user), Text(password));
  } else {
    http_ = std::make_unique<platform::HttpConnection>(session_.get(), Text(server),
                                                       static_cast<uint16_t>(port), Text(user),
                                                       Text(password));
    ok = http_->Connect();
  }
  if (!ok) {
    int32_t error = platform::GetLastSystemError();
    std::string text = ResponseText();
    CloseHandles();
    return Fail(kNetConnectFailed, error, text.c_str());
  }
  state_ = ftp ? kNetFtpOpen : kNetSessionOpen;
  return kNetDone;
}

int32_t CNet::ConnectHttp(const char* agent, const char* server, const char* user,
                          const char* password, int32_t port) {
  return Connect(agent, server, user, password, port, false);
}

int32_t CNet::ConnectFtp(const char* agent, const char* server, const char* user,
                         const char* password, int32_t port) {
  return Connect(agent, server, user, password, port, true);
}

int32_t CNet::ConnectFtpResume(const char* agent, const char* server, const char* user,
                               const char* password, int32_t port) {
  return Connect(agent, server, user, password, port, true);
}

void CNet::ReportProgress() {
  if (progress_ != nullptr) progress_(total_, received_);
  if (percent_ != nullptr) {
    int32_t percent = ProgressPercent(received_, total_);
    if (percent != last_percent_) {
      last_percent_ = percent;
      percent_(percent);
    }
  }
}

int32_t CNet::ReceiveLoop(platform::InternetStream* source, platform::File* file, uint32_t start,
                          const std::string& written, const std::string& name, char* buffer) {
  received_ = start;
  if (tap_ != nullptr) tap_->OnReceiveStart(written, start);
  ReportProgress();
  int32_t result = kNetDone;
  while (received_ < total_) {
    // Never more than the declared rest: the counters cannot pass the total.
    uint32_t want = total_ - received_;
    if (want > kChunkSize) want = kChunkSize;
    uint32_t got = 0;
    bool ok = source->Read(buffer, want, &got);
    if (!ok || got == 0) {
      // A read of 0 bytes before the declared length is a server that closed
      // early: it ends the loop as a read failure instead of waiting forever.
      int32_t error = ok ? platform::kErrorInternetConnectionAborted : platform::GetLastSystemError();
      char text[256];
      snprintf(text, sizeof(text), "FILENAME : [%s], RECEIVED/TOTAL : [%u]/[%u]", name.c_str(),
               received_, total_);
      result = Fail(kNetReadFailed, error, text);
      break;
    }
    if (!file->Write(buffer, got)) {
      result = Fail(kNetWriteFailed, platform::GetLastSystemError(), kMsgWrite);
      break;
    }
    if (tap_ != nullptr) tap_->OnReceived(buffer, got);
    if (cancel_check_ != nullptr && cancel_check_() == 1) {
      result = kNetStopped;  // the bytes are in the file but not counted
      break;
    }
    received_ += got;
    ReportProgress();
  }
  file->Close();
  return result;
}

int32_t CNet::FinishTemporary(const std::string& temporary, const std::string& local_path) {
  if (platform::MovePath(temporary, local_path)) return kNetDone;
  platform::SetPathAttributes(local_path, platform::kAttrNormal);
  platform::RemoveFile(local_path);
  if (platform::MovePath(temporary, local_path)) return kNetDone;
  return kNetMoveFailed;  // returned only, as the record may hold the cause of an earlier step
}

// The checks every download operation starts with; a new file's percent
// starts from 0. On success `*path` is the URL's path when `need_path`.
int32_t CNet::Prepare(const char* local_path, const char* url, bool need_path, std::string* path) {
  // URLs longer than the 259 characters of the data model are refused here,
  // rather than cut to another address.
  if (url == nullptr || strnlen(url, 260) >= 260 || !net_detail::UrlCheck(url))
    return Fail(kNetBadUrl, 0);
  platform::CreateParentDirectories(Text(local_path));  // a failure shows up when the file is made
  if (need_path && !net_detail::ExtractPath(url, path)) return Fail(kNetBadUrl, 0);
  last_percent_ = 0;
  return kNetDone;
}

int32_t CNet::DownloadUrl(const char* local_path, const char* url, int32_t) {
  int32_t r = Prepare(local_path, url, false, nullptr);
  return r != kNetDone ? r : FetchUrl(Text(local_path), url);
}

int32_t CNet::DownloadHttp(const char* local_path, const char* url, int32_t) {
  std::string path;
  int32_t r = Prepare(local_path, url, true, &path);
  return r != kNetDone ? r : FetchHttp(Text(local_path), path);
}

int32_t CNet::DownloadFtp(const char* local_path, const char* url, int32_t) {
  std::string path;
  int32_t r = Prepare(local_path, url, true, &path);
  return r != kNetDone ? r : FetchFtp(Text(local_path), path);
}

int32_t CNet::DownloadFtpResume(const char* local_path, const char* url, int32_t) {
  std::string path;
  int32_t r = Prepare(local_path, url, true, &path);
  return r != kNetDone ? r : FetchFtpResume(Text(local_path), path);
}

int32_t CNet::OpenTemporary(const std::string& temporary, int32_t create_failed, platform::File* file,
                            uint64_t* offset) {
  *offset = 0;
  if (!platform::FileExists(temporary)) {
    if (!file->Open(temporary, platform::File::kWrite, platform::File::Mode::kCreateAlways))
      return Fail(create_failed, platform::GetLastSystemError());
    return kNetDone;
  }
  if (!file->Open(temporary, platform::File::kWrite, platform::File::Mode::kOpenAlways))
    return Fail(kNetOpenTempFailed, platform::GetLastSystemError());
  if (!file->SeekToEnd()) return Fail(kNetSeekFailed, 0);
  int64_t position = file->Position();
  if (position < 0) return Fail(kNetSeekFailed, 0);
  *offset = static_cast<uint64_t>(position);
  return kNetDone;
}

int32_t CNet::FetchUrl(const std::string& local_path, const std::string& url) {
  if (state_ != kNetSessionOpen || !session_) return Fail(kNetWrongState, 0);
  std::unique_ptr<platform::InternetRequest> request;
  for (int attempt = 0; attempt < kOpenAttempts && !request; ++attempt)
    request = platform::OpenUrl(session_.get(), url, "");
  if (!request) {
    int32_t error = platform::GetLastSystemError();
    std::string text = ResponseText();
    return Fail(kNetOpenFailed, error, text.c_str());
  }
  uint32_t status = 0;
  if (!request->QueryStatusCode(&status) || status != 200)
    return Fail(kNetOpenFailed, platform::GetLastSystemError());
  char length_text[32];
  uint64_t length = 0;
  if (!request->QueryContentLength(length_text, sizeof(length_text)))
    return Fail(kNetNoLength, platform::GetLastSystemError());
  if (!platform::ParseContentLength(length_text, &length))
    return Fail(kNetNoLength, platform::kErrorHttpInvalidServerResponse);
  if (length >= kFourGiB) return FailTooLarge(length);
  total_ = static_cast<uint32_t>(length);

  platform::File file;
  if (!file.Open(local_path, platform::File::kWrite, platform::File::Mode::kCreateAlways))
    return Fail(kNetCreateFileFailed, platform::GetLastSystemError());
  std::unique_ptr<char[]> buffer(new char[kChunkSize]);
  return ReceiveLoop(request.get(), &file, 0, local_path, url, buffer.get());
}

int32_t CNet::FetchHttp(const std::string& local_path, const std::string& path) {
  if (state_ != kNetSessionOpen || !http_) return Fail(kNetWrongState, 0);
  std::unique_ptr<platform::HttpRequest> request = http_->OpenRequest("GET", path);
  if (!request) return Fail(kNetOpenRequestFailed, platform::GetLastSystemError());

  const std::string temporary = net_detail::TemporaryName(local_path);
  platform::File file;
  uint64_t offset = 0;
  int32_t opened = OpenTemporary(temporary, kNetCreateFileFailed, &file, &offset);
  if (opened != kNetDone) return opened;
  if (offset >= kFourGiB) return FailTooLarge(offset);

  // Empties the temporary file and starts again from the first byte.
  auto restart = [&](const char* message) -> int32_t {
    file.Close();
    if (!file.Open(temporary, platform::File::kWrite, platform::File::Mode::kCreateAlways))
      return Fail(kNetCreateFileFailed, platform::GetLastSystemError(), message);
    offset = 0;
    return kNetDone;
  };
  auto send_plain = [&]() -> int32_t {
    if (!request->Send("")) return Fail(kNetSendFailed, platform::GetLastSystemError());
    uint32_t status = 0;
    if (!request->QueryStatusCode(&status))
      return Fail(kNetQueryFailed, platform::GetLastSystemError());
    if (status != 200) return Fail(kNetSendFailed, 0, kMsgNot200);
    return kNetDone;
  };

  if (offset > 0) {
    char headers[96];
    snprintf(headers, sizeof(headers), "Range: bytes=%u-\r\nAccept: */*\r\n",
             static_cast<uint32_t>(offset));
    if (!request->Send(headers)) return Fail(kNetSendFailed, platform::GetLastSystemError());
    uint32_t status = 0;
    if (!request->QueryStatusCode(&status))
      return Fail(kNetQueryFailed, platform::GetLastSystemError());
    if (status == 416) {
      // The temporary file already holds at least the whole file: fetch anew.
      // The second answer is checked like any fresh one, so an error page is
      // never taken for the file.
      int32_t r = restart(kMsgCreate416);
      if (r != kNetDone) return r;
      r = send_plain();
      if (r != kNetDone) return r;
    } else if (status == 200) {
      // The server ignored the range and sends the whole file: it replaces
      // the partial one instead of being appended behind it.
      int32_t r = restart(kMsgCreate200);
      if (r != kNetDone) return r;
    } else if (status == 206) {
      // A range that does not start where the file ends would corrupt it.
      std::string range;
      uint64_t first = 0, last = 0;
      if (request->QueryHeader("Content-Range", &range) &&
          (!platform::ParseContentRange(range, &first, &last) || first != offset)) {
        int32_t r = restart(kMsgCreate416);
        if (r != kNetDone) return r;
        r = send_plain();
        if (r != kNetDone) return r;
      }
    } else {
      return Fail(kNetSendFailed, 0, kMsgNot206);
    }
  } else {
    int32_t r = send_plain();
    if (r != kNetDone) return r;
  }

  char length_text[32];
  uint64_t length = 0;
  if (!request->QueryContentLength(length_text, sizeof(length_text)))
    return Fail(kNetQueryFailed, platform::GetLastSystemError());
  if (!platform::ParseContentLength(length_text, &length))
    return Fail(kNetQueryFailed, platform::kErrorHttpInvalidServerResponse);
  if (offset + length >= kFourGiB) return FailTooLarge(offset + length);
  total_ = static_cast<uint32_t>(offset + length);

  std::unique_ptr<char[]> buffer(new char[kChunkSize]);
  int32_t r = ReceiveLoop(request.get(), &file, static_cast<uint32_t>(offset), temporary, path,
                          buffer.get());
  request.reset();
  if (r != kNetDone) return r;  // the temporary file stays for the next call
  return FinishTemporary(temporary, local_path);
}

int32_t CNet::FetchFtp(const std::string& local_path, const std::string& path) {
  if (state_ != kNetFtpOpen || !ftp_) return Fail(kNetWrongState, 0);
  std::string server_path;
  if (!platform::FtpCommandPath(path, &server_path)) return Fail(kNetBadUrl, 0);
  std::unique_ptr<platform::FtpDataStream> data;
  for (int attempt = 0; attempt < kOpenAttempts && !data; ++attempt)
    data = ftp_->OpenFile(server_path);
  if (!data) return Fail(kNetOpenFailed, platform::GetLastSystemError());
  if (data->FileSize() >= kFourGiB) return FailTooLarge(data->FileSize());
  total_ = static_cast<uint32_t>(data->FileSize());
  if (total_ == 0) return Fail(kNetNoLength, 0);

  platform::File file;
  if (!file.Open(local_path, platform::File::kWrite, platform::File::Mode::kCreateAlways))
    return Fail(kNetCreateFileFailed, 0);
  std::unique_ptr<char[]> buffer(new char[kChunkSize]);
  return ReceiveLoop(data.get(), &file, 0, local_path, path, buffer.get());
}

int32_t CNet::FetchFtpResume(const std::string& local_path, const std::string& path) {
  if (state_ != kNetFtpOpen || !ftp_) return Fail(kNetWrongState, 0);
  std::string server_path;
  if (!platform::FtpCommandPath(path, &server_path)) return Fail(kNetBadUrl, 0);

  const std::string temporary = net_detail::TemporaryName(local_path);
  platform::File file;
  uint64_t offset = 0;
  int32_t opened = OpenTemporary(temporary, kNetOpenTempFailed, &file, &offset);
  if (opened != kNetDone) return opened;

  if (!ftp_->Command("SIZE " + server_path, nullptr))
    return Fail(kNetFtpCommandFailed, platform::GetLastSystemError());
  char reply[100];
  uint32_t reply_error = 0;
  if (!platform::GetLastResponseInfo(&reply_error, reply, sizeof(reply)))
    return Fail(kNetFtpReplyFailed, platform::GetLastSystemError());
  uint64_t size = 0;
  // A reply without a number is not a size of 0.
  if (!platform::ParseSizeReply(reply, &size))
    return Fail(kNetFtpReplyFailed, platform::kErrorHttpInvalidServerResponse);
  if (size >= kFourGiB) return FailTooLarge(size);
  total_ = static_cast<uint32_t>(size);

  if (offset > total_) {
    // A temporary file longer than the file on the server (it changed): a
    // REST there would fail or leave stale bytes, so start from the front.
    file.Close();
    if (!file.Open(temporary, platform::File::kWrite, platform::File::Mode::kCreateAlways))
      return Fail(kNetOpenTempFailed, platform::GetLastSystemError());
    offset = 0;
  }

  if (!ftp_->Command("PASV", nullptr))
    return Fail(kNetFtpCommandFailed, platform::GetLastSystemError(), kMsgPasv);
  if (offset > 0) {
    char rest[32];
    snprintf(rest, sizeof(rest), "REST %u", static_cast<uint32_t>(offset));
    if (!ftp_->Command(rest, nullptr))
      return Fail(kNetFtpCommandFailed, platform::GetLastSystemError(), kMsgRest);
  }
  std::unique_ptr<platform::FtpDataStream> data;
  if (!ftp_->Command("RETR " + server_path, &data))
    return Fail(kNetFtpCommandFailed, platform::GetLastSystemError(), kMsgRetr);

  std::unique_ptr<char[]> buffer(new char[kChunkSize]);
  int32_t r = ReceiveLoop(data.get(), &file, static_cast<uint32_t>(offset), temporary, path,
                          buffer.get());
  data.reset();
  if (r != kNetDone) return r;
  return FinishTemporary(temporary, local_path);
}

}  // namespace kivro
