#include "launcher/launcher_e2e_support.h"

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "platform/internet_socket.h"
#include "platform/testing/host_command.h"
#include "transfer/test_support/test_servers.h"

namespace kivro {

namespace fs = std::filesystem;

namespace launcher_e2e {

int Shell(const std::string& command) { return platform::RunHostCommand(command); }

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

std::string Quote(const std::string& text) {
  std::string q = "'";
  for (char c : text) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

namespace {
bool PortAnswers(uint16_t port) {
  platform::TcpSocket socket;
  return socket.Connect("127.0.0.1", port, 300);
}
}  // namespace

bool DemoServer::Available() { return !kivro_test::NginxProgram().empty(); }

bool DemoServer::Start(const std::string& work_dir, const std::string& root, uint16_t port,
                       const std::string& extra, std::string* why) {
  Stop();
  dir_ = work_dir + "/nginx";
  fs::create_directories(dir_);
  for (int i = 0; i < 300 && PortAnswers(port); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  if (PortAnswers(port)) {
    *why = "port " + std::to_string(port) + " (built into the launcher) stays taken";
    return false;
  }
  std::ofstream conf(dir_ + "/nginx.conf", std::ios::trunc);
  conf << kivro_test::NginxConfig(dir_, port, root, "$request_method $uri", extra);
  conf.close();
  // In the foreground under a time limit, so that a test that dies before
  // its clean-up cannot leave a server holding the launcher's port for long.
  std::string cmd = "timeout 600 " + kivro_test::NginxProgram() + " -g 'daemon off;' -p " + Quote(dir_ + "/") + " -c " +
                    Quote(dir_ + "/nginx.conf") + " -e " + Quote(dir_ + "/error.log") + " >>" +
                    Quote(dir_ + "/start.log") + " 2>&1 &";
  if (Shell(cmd) != 0) {
    *why = "nginx could not be run";
    return false;
  }
  running_ = true;
  for (int i = 0; i < 50 && !PortAnswers(port); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  if (!PortAnswers(port)) {
    *why = "nginx does not answer on port " + std::to_string(port) + ": " + ReadFile(dir_ + "/start.log") +
           ReadFile(dir_ + "/error.log");
    Stop();
    return false;
  }
  return true;
}

void DemoServer::Stop() {
  if (!running_) return;
  running_ = false;
  kivro_test::StopByPidFile(dir_ + "/nginx.pid");
}

std::vector<std::string> DemoServer::TakeRequests() {
  std::string log = ReadFile(dir_ + "/access.log");
  std::vector<std::string> lines;
  std::istringstream in(log.substr(std::min(log_read_, log.size())));
  log_read_ = log.size();
  for (std::string line; std::getline(in, line);) {
    if (!line.empty()) lines.push_back(line);
  }
  return lines;
}

BuiltInHost ParseBuiltInHost(const std::string& host) {
  BuiltInHost h;
  size_t colon = host.rfind(':');
  h.name = host.substr(0, colon);
  if (colon != std::string::npos) h.port = static_cast<uint16_t>(std::stoi(host.substr(colon + 1)));
  return h;
}

DemoWorld::DemoWorld() {
  // A unique name from the clock and a counter (tests of one binary run one
  // after the other).
  static int counter = 0;
  dir_ = kivro_test::HostTempFolder() + "/kivro-launcher-e2e-" +
         std::to_string(std::chrono::steady_clock::now().time_since_epoch().count()) + "-" +
         std::to_string(++counter);
  fs::create_directories(Root());
  fs::create_directories(Server());
}

DemoWorld::~DemoWorld() {
  std::error_code ignored;
  fs::remove_all(dir_, ignored);
}

bool DemoWorld::Publish(const std::string& version, const std::string& previous,
                        const std::string& extra) {
  std::string release = dir_ + "/release-" + version;
  std::string make = std::string(KIVRO_LAUNCHER_SOURCE_DIR) + "/sample_game/make_release.sh";
  if (Shell(Quote(make) + " " + version + " " + Quote(release) + " " + Quote(KIVRO_NPK_PROGRAM)) != 0) {
    return false;
  }
  std::string cmd = Quote(KIVRO_PUBLISH_PROGRAM) + " " + Quote(release) + " " + Quote(Server());
  if (!previous.empty()) cmd += " --previous " + Quote(dir_ + "/release-" + previous);
  return Shell(cmd + " " + extra + " >/dev/null") == 0;
}

int DemoWorld::GameStarts() const {
  std::string log = ReadFile(Install() + "/started.log");
  int lines = 0;
  for (char c : log) lines += c == '\n';
  return lines;
}

bool DemoWorld::WaitForGameStarts(int count, int timeout_ms) const {
  for (int waited = 0; waited < timeout_ms; waited += 100) {
    if (GameStarts() >= count) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  return GameStarts() >= count;
}

}  // namespace launcher_e2e

}  // namespace kivro
