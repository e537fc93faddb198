// FTP control and passive data connections.
#include <algorithm>
#include <cstring>

#include "platform/codepage.h"
#include "platform/internet.h"
#include "platform/internet_errors.h"

namespace platform {

namespace {
// Waiting for the goodbye of a closing session need not take long.
constexpr uint32_t kQuitWaitMs = 1000;
constexpr uint32_t kAbortFollowUpMs = 200;

bool HasLineBreak(const std::string& text) {
  return text.find_first_of(std::string("\r\n\0", 3)) != std::string::npos;
}
}  // namespace

FtpDataStream::FtpDataStream(FtpConnection* control, TcpSocket socket, uint64_t size)
    : control_(control), socket_(std::move(socket)), size_(size) {
  if (control_ != nullptr) {
    control_->session_->StartStallWatch(&stall_);
  } else {
    stall_.Start(kDefaultStallWindowMs, kDefaultStallMinBytes);
  }
}

FtpDataStream::~FtpDataStream() {
  socket_.Close();
  if (control_ != nullptr) {
    control_->active_ = nullptr;
    control_->FinishTransfer(ended_);
  }
}

bool FtpDataStream::Read(void* buffer, uint32_t size, uint32_t* read) {
  *read = 0;
  char* out = static_cast<char*>(buffer);
  uint32_t got = 0;
  uint32_t timeout =
      control_ != nullptr ? control_->session_->ReceiveTimeout() : kDefaultReceiveTimeoutMs;
  while (got < size && !ended_) {
    int64_t n = socket_.Receive(out + got, size - got, timeout);
    if (n < 0) {
      int32_t e = GetLastSystemError();
      if (got > 0) break;  // hand out what came; the failure repeats on the next call
      SetLastResponseInfo(static_cast<uint32_t>(e), std::string());
      SetLastSystemError(e);
      return false;
    }
    if (n == 0) {
      ended_ = true;  // the server closes the data connection at the end of the file
      break;
    }
    if (!stall_.Note(static_cast<uint64_t>(n))) {
      if (got > 0) break;  // hand out what came first, as for a failed receive
      SetLastResponseInfo(static_cast<uint32_t>(kErrorInternetTimeout), std::string());
      SetLastSystemError(kErrorInternetTimeout);
      return false;
    }
    got += static_cast<uint32_t>(n);
  }
  *read = got;
  return true;
}

FtpConnection::FtpConnection(InternetSession* session) : session_(session) {}

FtpConnection::~FtpConnection() { Close(); }

bool FtpConnection::Fail(int32_t error) {
  SetLastResponseInfo(static_cast<uint32_t>(error), last_reply_.text);
  SetLastSystemError(error);
  return false;
}

bool FtpConnection::SendCommand(const std::string& line) {
  if (!control_.IsOpen()) return Fail(kErrorInternetConnectionAborted);
  if (!control_.SendAll(line + "\r\n", session_->ReceiveTimeout())) {
    int32_t e = GetLastSystemError();
    control_.Close();
    return Fail(e);
  }
  return true;
}

bool FtpConnection::ReadReply(FtpReply* reply, uint32_t timeout_ms) {
  for (;;) {
    size_t used = 0;
    ParseStatus status = ParseFtpReply(buffer_.data(), buffer_.size(), reply, &used);
    if (status == ParseStatus::kComplete) {
      buffer_.erase(0, used);
      last_reply_ = *reply;
      SetLastResponseInfo(0, reply->text);
      return true;
    }
    if (status == ParseStatus::kInvalid) {
      control_.Close();
      buffer_.clear();
      return Fail(kErrorHttpInvalidServerResponse);
    }
    // The time-out in slices, the session's cancel check asked between them:
    // a server may take the whole time-out to answer.
    char chunk[4096];
    int64_t n = -1;
    for (uint32_t left = timeout_ms;;) {
      uint32_t slice = std::min(left, kCancelPollMs);
      n = control_.Receive(chunk, sizeof(chunk), slice);
      if (n >= 0 || GetLastSystemError() != kErrorInternetTimeout || slice == left) break;
      left -= slice;
      if (session_->Cancelled()) {
        // The reply still on its way would be taken for the next one's.
        control_.Close();
        buffer_.clear();
        return Fail(kErrorInternetOperationCancelled);
      }
    }
    if (n <= 0) {
      int32_t e = n == 0 ? kErrorInternetConnectionAborted : GetLastSystemError();
      control_.Close();
      buffer_.clear();
      return Fail(e);
    }
    buffer_.append(chunk, static_cast<size_t>(n));
  }
}

bool FtpConnection::AwaitReply(FtpReply* reply, bool stop_at_preliminary) {
  for (;;) {
    if (!ReadReply(reply, session_->ReceiveTimeout())) return false;
    if (reply->code / 100 != 1) return true;
    if (++interim_ > kMaxInterimReplies) {
      // A server that keeps saying "in a moment" is refused, not waited on.
      control_.Close();
      buffer_.clear();
      return Fail(kErrorHttpInvalidServerResponse);
    }
    if (stop_at_preliminary) return true;
  }
}

bool FtpConnection::Exchange(const std::string& line, FtpReply* reply, bool data_command) {
  interim_ = 0;
  return SendCommand(line) && AwaitReply(reply, data_command);
}

bool FtpConnection::Connect(const std::string& server, uint16_t port, const std::string& user,
                            const std::string& password) {
  Close();
  last_reply_ = FtpReply();
  std::string host = server;
  if (host.size() >= 2 && host.front() == '[' && host.back() == ']') host = host.substr(1, host.size() - 2);
  if (HasLineBreak(user) || HasLineBreak(password)) return Fail(kErrorInvalidParameter);
  if (!control_.Connect(host, port == 0 ? 21 : port, session_->ReceiveTimeout()))
    return Fail(GetLastSystemError());
  FtpReply reply;
  interim_ = 0;
  if (!AwaitReply(&reply, false)) return false;  // after any "120 ready in a moment"
  if (reply.code / 100 != 2) {
    control_.Close();
    return Fail(kErrorInternetCannotConnect);
  }
  std::string name = user.empty() ? "anonymous" : user;
  std::string secret = user.empty() && password.empty() ? "anonymous@" : password;
  if (!Exchange("USER " + name, &reply)) return false;
  if (reply.code == 331 || reply.code == 332) {
    if (!Exchange("PASS " + secret, &reply)) return false;
  }
  if (reply.code / 100 != 2) {
    control_.Close();
    return Fail(kErrorInternetLoginFailure);
  }
  if (!Exchange("TYPE I", &reply)) return false;
  if (reply.code / 100 != 2) {
    control_.Close();
    return Fail(kErrorInternetExtendedError);
  }
  return true;
}

void FtpConnection::Close() {
  if (active_ != nullptr) {
    active_->Detach();
    active_ = nullptr;
  }
  if (control_.IsOpen()) {
    FtpReply reply;
    int32_t saved = GetLastSystemError();
    if (SendCommand("QUIT")) ReadReply(&reply, std::min(kQuitWaitMs, session_->ReceiveTimeout()));
    SetLastSystemError(saved);  // a goodbye that goes wrong is nobody's failure
    control_.Close();
  }
  buffer_.clear();
  pending_data_port_ = 0;
}

bool FtpConnection::OpenPassive(uint16_t* port) {
  FtpReply reply;
  if (!control_.IsIpv6()) {
    if (!Exchange("PASV", &reply)) return false;
    if (reply.code == 227) {
      if (!ParsePasvReply(reply.text, port)) return Fail(kErrorHttpInvalidServerResponse);
      return true;
    }
  }
  // IPv6, or a server that only knows the extended form.
  if (!Exchange("EPSV", &reply)) return false;
  if (reply.code != 229) return Fail(kErrorInternetExtendedError);
  if (!ParseEpsvReply(reply.text, port)) return Fail(kErrorHttpInvalidServerResponse);
  return true;
}

bool FtpConnection::Command(const std::string& command, std::unique_ptr<FtpDataStream>* data) {
  if (active_ != nullptr) return Fail(kErrorFtpTransferInProgress);
  if (command.empty() || HasLineBreak(command)) return Fail(kErrorInvalidParameter);
  if (!control_.IsOpen()) return Fail(kErrorInternetConnectionAborted);
  if (data == nullptr) {
    std::string verb = ToLowerAscii(command);
    while (!verb.empty() && verb.back() == ' ') verb.pop_back();
    if (verb == "pasv" || verb == "epsv") {
      // The passive address is kept for the next data command, so a raw
      // PASV works on IPv6 too and leaves no listener unused.
      pending_data_port_ = 0;
      return OpenPassive(&pending_data_port_);
    }
    FtpReply reply;
    if (!Exchange(command, &reply)) return false;
    if (reply.code >= 400) return Fail(kErrorInternetExtendedError);
    return true;
  }
  uint16_t port = pending_data_port_;
  pending_data_port_ = 0;
  if (port == 0 && !OpenPassive(&port)) return false;
  // The data connection goes to the server we talk to, whatever address the
  // reply named: a reply must not send us elsewhere.
  TcpSocket socket;
  if (!socket.Connect(control_.PeerAddress(), port, session_->ReceiveTimeout()))
    return Fail(GetLastSystemError());
  FtpReply reply;
  // The preliminary reply (150) opens the transfer; the final one comes
  // after the data, within the same allowance of interim replies.
  if (!Exchange(command, &reply, true)) return false;
  if (reply.code >= 400) return Fail(kErrorInternetExtendedError);
  bool final_already = reply.code / 100 == 2;  // a server that answered the transfer at once
  auto stream = std::make_unique<FtpDataStream>(this, std::move(socket), 0);
  if (final_already) {
    stream->Detach();
  } else {
    active_ = stream.get();
  }
  *data = std::move(stream);
  return true;
}

bool FtpConnection::FinishTransfer(bool complete) {
  if (!control_.IsOpen()) return false;
  // After a complete transfer the server confirms it (226); after an early
  // close it reports the abort (426), sometimes followed by 226.
  FtpReply reply;
  int32_t saved = GetLastSystemError();
  if (!AwaitReply(&reply, false)) {
    SetLastSystemError(saved);
    return false;
  }
  if (!complete && reply.code / 100 == 4) {
    // A 226 may follow the abort notice; collect it if it comes at once so
    // it is not taken for the answer to the next command.
    char chunk[512];
    int64_t n = control_.Receive(chunk, sizeof(chunk), kAbortFollowUpMs);
    if (n > 0) {
      buffer_.append(chunk, static_cast<size_t>(n));
      FtpReply follow;
      size_t used = 0;
      if (ParseFtpReply(buffer_.data(), buffer_.size(), &follow, &used) == ParseStatus::kComplete)
        buffer_.erase(0, used);
    } else if (n == 0) {
      control_.Close();
    }
  }
  SetLastSystemError(saved);
  return reply.code / 100 == 2;
}

std::unique_ptr<FtpDataStream> FtpConnection::OpenFile(const std::string& path) {
  if (active_ != nullptr) {
    Fail(kErrorFtpTransferInProgress);
    return nullptr;
  }
  if (path.empty() || HasLineBreak(path)) {
    Fail(kErrorInvalidParameter);
    return nullptr;
  }
  if (!control_.IsOpen()) {
    Fail(kErrorInternetConnectionAborted);
    return nullptr;
  }
  // The size is asked before the transfer: the control connection is busy
  // while data flows.
  uint64_t size = 0;
  FtpReply reply;
  if (!Exchange("SIZE " + path, &reply)) return nullptr;
  bool known = reply.code == 213 && ParseSizeReply(reply.text, &size);
  if (!known) size = 0;
  std::unique_ptr<FtpDataStream> data;
  if (!Command("RETR " + path, &data)) return nullptr;
  data->size_ = size;
  data->size_known_ = known;
  return data;
}

}  // namespace platform
