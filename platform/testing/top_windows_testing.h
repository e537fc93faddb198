// Test support for top-level windows: a private X server and a small window
// program of ours that other tests can poke.
#pragma once
#include <string>
#include <vector>

#include "platform/process.h"
#include "platform/testing/xvfb_server.h"

namespace platform {

// Xvfb (1024x768) on a display number it picks itself; DISPLAY is set while
// it runs and restored by Stop().
class PrivateXServer {
 public:
  ~PrivateXServer() { Stop(); }
  // False when Xvfb is missing or does not come up.
  bool Start();
  void Stop();
  const std::string& Display() const { return display_; }

 private:
  testing_support::XvfbServer server_;
  std::string display_;
};

// A started server for the tests of one suite, or null when Xvfb is
// missing or does not come up (the tests then skip).
PrivateXServer* StartSuiteXServer();

// Writes what `window` (on the current display) shows as an RGB PNG file at
// the POSIX path `png_path`. False when it cannot be read or written.
bool CaptureTopWindowPng(uint64_t window, const std::string& png_path);

// The program kivro_test_top_window: a top-level window titled `title` with
// the given properties ("Name=number"), which logs each message it is sent
// ("message wparam lparam" lines) to `log_path` and answers 1 — or never
// answers when `answer` is false.
class TestWindowProgram {
 public:
  ~TestWindowProgram() { Stop(); }
  bool Start(const std::string& title, const std::vector<std::string>& properties,
             const std::string& log_path, bool answer = true);
  void Stop();
  static std::string ProgramPath();  // path of the built program on the build machine
  static std::string ProgramWindowsPath();  // the same as a Windows path

 private:
  Process program_;
};

}  // namespace platform
