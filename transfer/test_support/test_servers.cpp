#include "transfer/test_support/test_servers.h"

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>

#include "platform/paths.h"
#include "platform/testing/host_command.h"

namespace kivro {

namespace fs = std::filesystem;

namespace kivro_test {

namespace {

std::string Quote(const std::string& s) {
  std::string out = "'";
  for (char c : s) {
    if (c == '\'') out += "'\\''";
    else out.push_back(c);
  }
  return out + "'";
}

// Host paths are UTF-8 (Korean names too), also for a Windows test, whose
// narrow paths would otherwise go through the ANSI code page.
fs::path HostPath(const std::string& utf8) {
  return fs::path(std::u8string(utf8.begin(), utf8.end()));
}

bool WaitForPort(uint16_t port, int milliseconds, const std::string& address = "127.0.0.1") {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
  while (std::chrono::steady_clock::now() < deadline) {
    platform::TcpSocket probe;
    if (probe.Connect(address, port, 500)) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return false;
}

std::string ReadText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

// Alive unless gone or a zombie: a daemon's parent may reap it late.
bool ProcessAlive(const std::string& pid) {
  if (pid.empty()) return false;
  std::string stat = ReadText("/proc/" + pid + "/stat");
  if (stat.empty()) return platform::RunHostCommand("kill -0 " + pid + " 2>/dev/null") == 0;
  size_t close = stat.rfind(')');
  return close == std::string::npos || close + 2 >= stat.size() || stat[close + 2] != 'Z';
}

std::string FtpPython() {
  for (const char* p : {"/usr/bin/python3", "python3"}) {
    std::string cmd = std::string(p) + " -c 'import pyftpdlib' >/dev/null 2>&1";
    if (platform::RunHostCommand(cmd) == 0) return p;
  }
  return "";
}

}  // namespace

void StopByPidFile(const std::string& pid_file) {
  std::string pid = ReadText(pid_file);
  while (!pid.empty() && (pid.back() == '\n' || pid.back() == ' ')) pid.pop_back();
  if (pid.empty() || pid.find_first_not_of("0123456789") != std::string::npos) return;
  platform::RunHostCommand("kill -TERM " + pid + " 2>/dev/null");
  for (int i = 0; i < 500 && ProcessAlive(pid); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  if (ProcessAlive(pid)) platform::RunHostCommand("kill -KILL " + pid + " 2>/dev/null");
}

std::string NginxProgram() {
  if (fs::exists("/usr/sbin/nginx")) return "/usr/sbin/nginx";
  if (platform::RunHostCommand("command -v nginx >/dev/null 2>&1") == 0) return "nginx";
  return "";
}

std::string NginxConfig(const std::string& dir, uint16_t port, const std::string& root,
                        const std::string& log_format, const std::string& server_extra) {
  std::ostringstream conf;
  conf << "worker_processes 1;\n"
       << "pid " << dir << "/nginx.pid;\n"
       << "error_log " << dir << "/error.log warn;\n"
       << "events { worker_connections 128; }\n"
       << "http {\n"
       << "  log_format kivro '" << log_format << "';\n"
       << "  access_log " << dir << "/access.log kivro;\n"
       << "  client_body_temp_path " << dir << "/body;\n"
       << "  proxy_temp_path " << dir << "/proxy;\n"
       << "  fastcgi_temp_path " << dir << "/fastcgi;\n"
       << "  uwsgi_temp_path " << dir << "/uwsgi;\n"
       << "  scgi_temp_path " << dir << "/scgi;\n"
       << "  default_type application/octet-stream;\n"
       << "  sendfile on;\n"
       << "  keepalive_timeout 60s;\n"
       << "  keepalive_requests 100000;\n"
       << "  server {\n"
       << "    listen 127.0.0.1:" << port << ";\n"
       << "    root " << root << ";\n"
       << server_extra << "\n"
       << "  }\n"
       << "}\n";
  return conf.str();
}

std::string HostTempFolder() {
#if defined(_WIN32)
  return "/tmp";
#else
  return fs::temp_directory_path().string();
#endif
}

std::string HostProgram(const std::string& program) {
#ifdef KIVRO_HOST_PROGRAM_RUNNER
  return std::string(KIVRO_HOST_PROGRAM_RUNNER) + " " + Quote(program);
#else
  return Quote(program);
#endif
}

TempDir::TempDir(const std::string& tag) {
  std::random_device rd;
  fs::path base = HostTempFolder();
  for (int attempt = 0; attempt < 100; ++attempt) {
    fs::path p = base / ("kivro-" + tag + "-" + std::to_string(rd() % 100000000u));
    std::error_code ec;
    if (fs::create_directory(p, ec)) {
      posix_ = p.generic_string();  // "/" also on Windows: the host reads these paths
      break;
    }
  }
  windows_ = platform::ToWindowsPath(posix_);
}

TempDir::~TempDir() {
  std::error_code ec;
  if (!posix_.empty()) fs::remove_all(posix_, ec);
}

std::string TempDir::WinPath(const std::string& name) const {
  std::string n = name;
  for (char& c : n)
    if (c == '/') c = '\\';
  return windows_ + "\\" + n;
}

std::string PatternBytes(uint64_t size, uint32_t seed) {
  std::string s(size, '\0');
  uint32_t x = seed * 2654435761u + 1;
  for (uint64_t i = 0; i < size; ++i) {
    x = x * 1103515245u + 12345u;
    s[i] = static_cast<char>(x >> 16);
  }
  return s;
}

bool WritePatternFile(const std::string& posix_path, uint64_t size, uint32_t seed,
                      std::string* content) {
  std::error_code ec;
  fs::create_directories(HostPath(posix_path).parent_path(), ec);
  std::ofstream out(HostPath(posix_path), std::ios::binary | std::ios::trunc);
  if (!out) return false;
  // Written in pieces so that large benchmark files need little memory.
  const uint64_t piece = 1 << 20;
  std::string block = PatternBytes(piece, seed);
  if (content != nullptr) content->clear();
  for (uint64_t done = 0; done < size;) {
    uint64_t n = std::min(piece, size - done);
    if (size <= piece) block = PatternBytes(size, seed);
    // Vary each piece so that misplaced pieces are caught.
    std::string chunk = block.substr(0, n);
    chunk[0] = static_cast<char>(done / piece);
    out.write(chunk.data(), static_cast<std::streamsize>(n));
    if (content != nullptr) content->append(chunk);
    done += n;
  }
  return static_cast<bool>(out);
}

bool WritePosixFile(const std::string& posix_path, const std::string& content) {
  std::error_code ec;
  fs::create_directories(HostPath(posix_path).parent_path(), ec);
  std::ofstream out(HostPath(posix_path), std::ios::binary | std::ios::trunc);
  out.write(content.data(), static_cast<std::streamsize>(content.size()));
  return static_cast<bool>(out);
}

bool ReadPosixFile(const std::string& posix_path, std::string* content) {
  std::ifstream in(HostPath(posix_path), std::ios::binary);
  if (!in) return false;
  std::stringstream s;
  s << in.rdbuf();
  *content = s.str();
  return true;
}

bool PosixFileExists(const std::string& posix_path) {
  std::error_code ec;
  return fs::exists(HostPath(posix_path), ec);
}

bool NginxServer::Available() { return !NginxProgram().empty(); }

bool NginxServer::Start(const std::string& root, std::string* why,
                        const std::string& extra_server) {
  Stop();
  std::string program = NginxProgram();
  if (program.empty()) {
    *why = "nginx is not installed";
    return false;
  }
  dir_ = new TempDir("nginx");
  const std::string d = dir_->Posix();
  for (int attempt = 0; attempt < 5 && !running_; ++attempt) {
    port_ = platform::FindFreeLoopbackPort();
    std::ofstream conf(d + "/nginx.conf", std::ios::trunc);
    conf << NginxConfig(d, port_, root,
                        log_bytes_ ? "$connection $request $status $body_bytes_sent"
                                   : "$connection $request $status",
                        extra_server);
    conf.close();
    std::string cmd = program + " -p " + Quote(d + "/") + " -c " + Quote(d + "/nginx.conf") +
                      " -e " + Quote(d + "/error.log") + " >>" + Quote(d + "/start.log") + " 2>&1";
    if (platform::RunHostCommand(cmd) != 0) continue;  // the port may have been taken meanwhile
    running_ = true;
    if (!WaitForPort(port_, 5000)) {
      Stop();
      continue;
    }
  }
  if (!running_) {
    *why = "nginx did not start: " + ReadText(d + "/start.log") + ReadText(d + "/error.log");
    return false;
  }
  return true;
}

void NginxServer::Stop() {
  if (dir_ == nullptr) return;
  if (running_) StopByPidFile(dir_->Posix() + "/nginx.pid");
  running_ = false;
  delete dir_;
  dir_ = nullptr;
}

std::string NginxServer::AccessLog() const {
  if (dir_ == nullptr) return {};
  return ReadText(dir_->Posix() + "/access.log");
}

size_t NginxServer::LoggedRequests() const {
  std::string log = AccessLog();
  return static_cast<size_t>(std::count(log.begin(), log.end(), '\n'));
}

uint64_t NginxServer::ServedBytes(const std::string& path) const {
  std::istringstream log(AccessLog());
  std::string connection, verb, target, version, status;
  uint64_t bytes = 0, sum = 0;
  while (log >> connection >> verb >> target >> version >> status >> bytes)
    if (target == path) sum += bytes;
  return sum;
}

bool NginxServer::WaitForLoggedRequests(size_t count) const {
  for (int i = 0; i < 300; ++i) {
    if (LoggedRequests() >= count) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return false;
}

bool FtpServer::Available() { return !FtpPython().empty(); }

bool FtpServer::Start(const std::string& root, const std::string& user,
                      const std::string& password, std::string* why, const std::string& address) {
  Stop();
  std::string python = FtpPython();
  if (python.empty()) {
    *why = "python3-pyftpdlib is not installed";
    return false;
  }
  dir_ = new TempDir("ftpd");
  const std::string d = dir_->Posix();
  for (int attempt = 0; attempt < 5 && !running_; ++attempt) {
    port_ = platform::FindFreeLoopbackPort();
    std::string cmd = python + " -m pyftpdlib -i " + Quote(address) + " -p " + std::to_string(port_) + " -d " +
                      Quote(root) + " -u " + Quote(user) + " -P " + Quote(password) + " >" +
                      Quote(d + "/ftpd.log") + " 2>&1 & echo $! >" + Quote(d + "/ftpd.pid");
    if (platform::RunHostCommand(cmd) != 0) continue;
    running_ = true;
    if (!WaitForPort(port_, 8000, address)) Stop();
  }
  if (!running_) {
    *why = "pyftpdlib did not start: " + ReadText(d + "/ftpd.log");
    return false;
  }
  return true;
}

void FtpServer::Stop() {
  if (dir_ == nullptr) return;
  if (running_) StopByPidFile(dir_->Posix() + "/ftpd.pid");
  running_ = false;
  if (dir_ != nullptr) {
    delete dir_;
    dir_ = nullptr;
  }
}

bool ReadRequestHead(platform::TcpSocket* socket, std::string* head, uint32_t timeout_ms) {
  head->clear();
  char c;
  while (head->size() < 65536) {
    if (socket->Receive(&c, 1, timeout_ms) != 1) return false;
    head->push_back(c);
    if (head->size() >= 4 && head->compare(head->size() - 4, 4, "\r\n\r\n") == 0) return true;
  }
  return false;
}

bool ReadLine(platform::TcpSocket* socket, std::string* line, uint32_t timeout_ms) {
  line->clear();
  char c;
  while (line->size() < 4096) {
    if (socket->Receive(&c, 1, timeout_ms) != 1) return false;
    if (c == '\n') {
      if (!line->empty() && line->back() == '\r') line->pop_back();
      return true;
    }
    line->push_back(c);
  }
  return false;
}

bool ScriptedServer::Start(Handler handler, const std::string& address) {
  Stop();
  stop_ = false;
  if (!listener_.Listen(address, 0)) return false;
  acceptor_ = std::thread([this, handler] {
    int index = 0;
    while (!stop_) {
      platform::TcpSocket connection;
      if (!listener_.Accept(&connection, 100)) continue;
      int i = index++;
      connections_++;
      workers_.emplace_back([handler, i, c = std::move(connection)]() mutable { handler(&c, i); });
    }
  });
  return true;
}

void ScriptedServer::Stop() {
  stop_ = true;
  if (acceptor_.joinable()) acceptor_.join();
  for (std::thread& t : workers_)
    if (t.joinable()) t.join();
  workers_.clear();
  listener_.Close();
}

}  // namespace kivro_test

}  // namespace kivro
