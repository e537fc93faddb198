#include "platform/testing/top_windows_testing.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>

#include "platform/thread.h"
#include "platform/top_windows.h"

namespace platform {

namespace {

bool Exists(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0;
}

}  // namespace

bool PrivateXServer::Start() {
  Stop();
  const char* current = std::getenv("DISPLAY");
  had_display_ = current != nullptr;
  saved_display_ = current ? current : "";
  for (int n = 91 + static_cast<int>(getpid() % 50); n < 400; n += 7) {
    std::string number = std::to_string(n);
    if (Exists("/tmp/.X11-unix/X" + number) || Exists("/tmp/.X" + number + "-lock")) continue;
    if (!server_.Start("Z:/usr/bin/Xvfb", {":" + number, "-screen", "0", "1024x768x24",
                                           "-nolisten", "tcp", "-noreset"})) {
      return false;  // no Xvfb at all
    }
    setenv("DISPLAY", (":" + number).c_str(), 1);
    for (int i = 0; i < 300; ++i) {
      if (server_.Wait(0)) break;  // lost the race for this number
      if (Exists("/tmp/.X11-unix/X" + number) && HasDisplay()) {
        display_ = ":" + number;
        return true;
      }
      Sleep(20);
    }
    server_.Terminate();
  }
  Stop();
  return false;
}

PrivateXServer* StartSuiteXServer() {
  auto* server = new PrivateXServer;
  if (server->Start()) return server;
  delete server;
  return nullptr;
}

void PrivateXServer::Stop() {
  if (server_.IsStarted()) server_.Terminate();
  if (!display_.empty() || server_.IsStarted()) {
    if (had_display_) setenv("DISPLAY", saved_display_.c_str(), 1);
    else unsetenv("DISPLAY");
  }
  display_.clear();
}

std::string TestWindowProgram::ProgramPath() { return KIVRO_TEST_TOP_WINDOW_PROGRAM; }

bool TestWindowProgram::Start(const std::string& title, const std::vector<std::string>& properties,
                              const std::string& log_path, bool answer) {
  Stop();
  std::vector<std::string> args = {title, log_path, answer ? "answer" : "silent"};
  for (const auto& p : properties) args.push_back(p);
  unlink(log_path.c_str());
  if (!program_.Start("Z:" + ProgramPath(), args)) return false;
  // Ready once its log exists: the window is up with its properties set.
  for (int i = 0; i < 500; ++i) {
    if (Exists(log_path)) return true;
    if (program_.Wait(0)) return false;
    Sleep(10);
  }
  return false;
}

void TestWindowProgram::Stop() {
  if (program_.IsStarted()) program_.Terminate();
}

}  // namespace platform
