// Support of the launcher's end-to-end tests: the sample game's releases
// published with the real publisher, nginx serving them on the port built
// into the launcher, and the real KIVROInstaller run in a fresh virtual root.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace kivro::launcher_e2e {

// Runs a shell command; answers its exit code (-1 when it did not run).
int Shell(const std::string& command);
std::string ReadFile(const std::string& path);
std::string Quote(const std::string& text);

// nginx on 127.0.0.1:`port`, serving `root`, stopped by the destructor.
class DemoServer {
 public:
  static bool Available();
  DemoServer() = default;
  ~DemoServer() { Stop(); }
  DemoServer(const DemoServer&) = delete;
  DemoServer& operator=(const DemoServer&) = delete;

  // `extra` goes into the server block (e.g. "limit_rate 40k;"). Waits up
  // to 30 s for the port to be free (a demo may be running).
  bool Start(const std::string& work_dir, const std::string& root, uint16_t port,
             const std::string& extra, std::string* why);
  void Stop();
  // The request lines served since the last call ("GET /path").
  std::vector<std::string> TakeRequests();

 private:
  std::string dir_;
  bool running_ = false;
  size_t log_read_ = 0;
};

// The built-in download host split up; `loopback` when served from here.
struct BuiltInHost {
  std::string name;
  uint16_t port = 80;
};
BuiltInHost ParseBuiltInHost(const std::string& host);

// A fresh work folder with the virtual root, releases and server tree.
class DemoWorld {
 public:
  DemoWorld();
  ~DemoWorld();
  const std::string& Dir() const { return dir_; }
  std::string Root() const { return dir_ + "/root"; }
  std::string Server() const { return dir_ + "/server"; }
  std::string Install() const { return Root() + "/drive_c/Zelmora/KOREAN/Gobanvista"; }
  // Makes release `version` with the sample game's script and publishes it
  // (over the previous one when `previous` is not empty); `extra` are more
  // arguments of the publisher (e.g. "--sign KEY").
  bool Publish(const std::string& version, const std::string& previous,
               const std::string& extra = "");
  // Number of lines in the game's started.log.
  int GameStarts() const;
  // Waits until the game has been started `count` times (it runs detached).
  bool WaitForGameStarts(int count, int timeout_ms) const;

 private:
  std::string dir_;
};

}  // namespace kivro::launcher_e2e
