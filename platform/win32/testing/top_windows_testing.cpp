// Windows has its window system always: the "private X server" of the
// tests is the desktop the test runs on (under Wine, its headless one).
#include "platform/testing/top_windows_testing.h"

#include <string>

#include "platform/file.h"
#include "platform/thread.h"
#include "platform/top_windows.h"

namespace platform {

namespace testing_support {

// No X server on Windows: its windows need none.
XvfbServer::Outcome XvfbServer::Start(int, int, std::string* why) {
  if (why != nullptr) *why = "Windows has no X server";
  return kMissing;
}

void XvfbServer::Stop() {}

}  // namespace testing_support

bool PrivateXServer::Start() {
  display_ = "desktop";
  return HasDisplay();
}

PrivateXServer* StartSuiteXServer() {
  auto* server = new PrivateXServer;
  if (server->Start()) return server;
  delete server;
  return nullptr;
}

void PrivateXServer::Stop() { display_.clear(); }

// No screenshots of the desktop yet.
bool CaptureTopWindowPng(uint64_t, const std::string&) { return false; }

std::string TestWindowProgram::ProgramPath() { return KIVRO_TEST_TOP_WINDOW_PROGRAM; }

// The build wrote a path of the build machine (Wine's drive Z:) when it
// cross-built, a Windows path otherwise.
std::string TestWindowProgram::ProgramWindowsPath() {
  std::string path = ProgramPath();
  return !path.empty() && path[0] == '/' ? "Z:" + path : path;
}

bool TestWindowProgram::Start(const std::string& title, const std::vector<std::string>& properties,
                              const std::string& log_path, bool answer) {
  Stop();
  std::vector<std::string> args = {title, log_path, answer ? "answer" : "silent"};
  for (const auto& p : properties) args.push_back(p);
  RemoveFile(log_path);
  if (!program_.Start(ProgramWindowsPath(), args)) return false;
  // Ready once its log exists: the window is up with its properties set.
  for (int i = 0; i < 500; ++i) {
    if (FileExists(log_path)) return true;
    if (program_.Wait(0)) return false;
    Sleep(10);
  }
  return false;
}

void TestWindowProgram::Stop() {
  if (program_.IsStarted()) program_.Terminate();
}

}  // namespace platform
