#include "platform/testing/top_windows_testing.h"

#include <sys/stat.h>
#include <unistd.h>

#include <string>

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
  std::string why;
  if (server_.Start(1024, 768, &why) != testing_support::XvfbServer::kStarted) return false;
  display_ = ":" + std::to_string(server_.DisplayNumber());
  // The server reports its number once it accepts connections; make sure
  // this process's own connections see it too.
  for (int i = 0; i < 300; ++i) {
    if (HasDisplay()) return true;
    Sleep(20);
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
  server_.Stop();
  display_.clear();
}

std::string TestWindowProgram::ProgramPath() { return KIVRO_TEST_TOP_WINDOW_PROGRAM; }
std::string TestWindowProgram::ProgramWindowsPath() { return "Z:" + ProgramPath(); }

bool TestWindowProgram::Start(const std::string& title, const std::vector<std::string>& properties,
                              const std::string& log_path, bool answer) {
  Stop();
  std::vector<std::string> args = {title, log_path, answer ? "answer" : "silent"};
  for (const auto& p : properties) args.push_back(p);
  unlink(log_path.c_str());
  if (!program_.Start(ProgramWindowsPath(), args)) return false;
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
