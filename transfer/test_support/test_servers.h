// Servers for integration tests, all on loopback and all stopped when their
// object goes away, whatever the outcome of the test:
//   - TempDir: a fresh folder under the temporary directory, removed after.
//   - NginxServer: the real nginx serving a folder on a free port, with a
//     generated configuration and everything it writes inside a temp folder.
//   - FtpServer: the real pyftpdlib FTP server on a free port, one user.
//   - ScriptedServer: a small server of our own whose behaviour a test
//     writes as a function of the accepted connection, for peers that
//     misbehave (early close, wrong status, stalls).
// A test should GTEST_SKIP when Available() says the server program is
// missing, and fail (never pass) when it is present but does not start.
#pragma once
#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "platform/internet_socket.h"

namespace kivro::kivro_test {

// The host's temporary folder as a POSIX path: the servers and shell
// commands of the tests are the host's programs. A Windows test under Wine
// sees it through Z: as "/tmp" (on the current drive Z: of a test run from
// the build tree).
std::string HostTempFolder();

// A program of this build as a word of a host shell command, quoted: the
// file itself on a native build; on a Windows build under Wine, the file
// run by the test emulator (KIVRO_HOST_PROGRAM_RUNNER).
std::string HostProgram(const std::string& program);

class TempDir {
 public:
  explicit TempDir(const std::string& tag = "test");
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::string& Posix() const { return posix_; }      // "/tmp/kivro-test-..."
  const std::string& Windows() const { return windows_; }  // "Z:\tmp\kivro-test-..."
  // Windows path of a name inside ('/' in `name` become '\').
  std::string WinPath(const std::string& name) const;
  std::string PosixPath(const std::string& name) const { return posix_ + "/" + name; }

 private:
  std::string posix_, windows_;
};

// Writes `size` bytes of a repeatable pattern (seeded by `seed`) to a POSIX
// path, creating parent folders. Returns the content too when `content`.
bool WritePatternFile(const std::string& posix_path, uint64_t size, uint32_t seed,
                      std::string* content = nullptr);
std::string PatternBytes(uint64_t size, uint32_t seed);
bool WritePosixFile(const std::string& posix_path, const std::string& content);
bool ReadPosixFile(const std::string& posix_path, std::string* content);
bool PosixFileExists(const std::string& posix_path);

// Pieces of the nginx servers of the tests, also for servers on a fixed
// port (the launcher's own end-to-end tests).
std::string NginxProgram();  // empty when nginx is missing
// A configuration serving `root` on 127.0.0.1:`port`, with everything nginx
// writes kept in `dir`; access log lines follow `log_format`, and
// `server_extra` goes into the server block.
std::string NginxConfig(const std::string& dir, uint16_t port, const std::string& root,
                        const std::string& log_format, const std::string& server_extra);
// Ends the process named by the pid file: TERM, a wait, then KILL.
void StopByPidFile(const std::string& pid_file);

class NginxServer {
 public:
  static bool Available();
  NginxServer() = default;
  ~NginxServer() { Stop(); }
  NginxServer(const NginxServer&) = delete;
  NginxServer& operator=(const NginxServer&) = delete;

  // Serves `root` (POSIX folder). `extra_server` is added inside the server
  // block (locations, returns). Fills `*why` on failure.
  bool Start(const std::string& root, std::string* why, const std::string& extra_server = "");
  void Stop();
  // Before Start: log the body bytes sent too, for ServedBytes (the access
  // log lines then end in " <bytes>").
  void LogBytes() { log_bytes_ = true; }
  // Body bytes sent for requests of `path` so far (needs LogBytes; as
  // with AccessLog, the last request may not be logged yet).
  uint64_t ServedBytes(const std::string& path) const;
  uint16_t Port() const { return port_; }
  std::string BaseUrl() const { return "http://127.0.0.1:" + std::to_string(port_); }
  // The access log, one line per request: "<connection> <request line> <status>".
  // nginx logs a request just after its last byte went out, so a client
  // can be done before the line is there: wait for it.
  std::string AccessLog() const;
  size_t LoggedRequests() const;
  // Waits (at most 3 s) until at least `count` requests are logged.
  bool WaitForLoggedRequests(size_t count) const;

 private:
  TempDir* dir_ = nullptr;
  uint16_t port_ = 0;
  bool running_ = false;
  bool log_bytes_ = false;
};

class FtpServer {
 public:
  static bool Available();
  FtpServer() = default;
  ~FtpServer() { Stop(); }
  FtpServer(const FtpServer&) = delete;
  FtpServer& operator=(const FtpServer&) = delete;

  // `address` is the loopback address to listen on ("127.0.0.1" or "::1").
  bool Start(const std::string& root, const std::string& user, const std::string& password,
             std::string* why, const std::string& address = "127.0.0.1");
  void Stop();
  uint16_t Port() const { return port_; }

 private:
  TempDir* dir_ = nullptr;
  uint16_t port_ = 0;
  bool running_ = false;
};

// Reads an HTTP request head (up to the blank line) from a test connection.
bool ReadRequestHead(platform::TcpSocket* socket, std::string* head, uint32_t timeout_ms = 5000);
// Reads one "\r\n"-ended line (an FTP command).
bool ReadLine(platform::TcpSocket* socket, std::string* line, uint32_t timeout_ms = 5000);

class ScriptedServer {
 public:
  using Handler = std::function<void(platform::TcpSocket* connection, int index)>;
  ScriptedServer() = default;
  ~ScriptedServer() { Stop(); }
  ScriptedServer(const ScriptedServer&) = delete;
  ScriptedServer& operator=(const ScriptedServer&) = delete;

  // Serves each accepted connection on its own thread with `handler`
  // (`index` counts connections from 0). Address "127.0.0.1" or "::1".
  bool Start(Handler handler, const std::string& address = "127.0.0.1");
  void Stop();
  uint16_t Port() const { return listener_.Port(); }
  int Connections() const { return connections_.load(); }
  std::string BaseUrl() const { return "http://127.0.0.1:" + std::to_string(Port()); }

 private:
  platform::TcpListener listener_;
  std::thread acceptor_;
  std::vector<std::thread> workers_;
  std::atomic<bool> stop_{false};
  std::atomic<int> connections_{0};
};

}  // namespace kivro::kivro_test
