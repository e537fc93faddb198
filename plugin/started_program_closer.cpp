#include "plugin/started_program_closer.h"

#include <utility>
#include <vector>

#include "platform/processes.h"
#include "platform/thread.h"
#include "platform/top_windows.h"

namespace kivro::plugin {

namespace {

constexpr uint32_t kWmClose = 0x0010;
constexpr int kPollMs = 100;
constexpr int kWatchMs = 60000;

std::string Lower(std::string text) {
  for (char& c : text) c = (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
  return text;
}

// Closes the windows titled `title` there are now; whether there was one.
bool CloseWindowsNow(const std::string& title) {
  bool any = false;
  for (platform::TopWindow window : platform::TopLevelWindows()) {
    if (platform::GetTopWindowTitle(window) != title) continue;
    any = true;
    platform::SendTopWindowMessage(window, kWmClose, 0, 0, 5000, nullptr);
  }
  return any;
}

}  // namespace

bool ProgramRuns(const std::string& exe_name) {
  std::vector<platform::ProcessEntry> entries;
  if (!platform::SnapshotProcesses(&entries)) return true;  // unknown: assume it runs
  const std::string wanted = Lower(exe_name);
  for (const platform::ProcessEntry& entry : entries) {
    // The name may carry a path (Wine keeps the Windows one).
    size_t slash = entry.exe_file.find_last_of("\\/");
    std::string name =
        slash == std::string::npos ? entry.exe_file : entry.exe_file.substr(slash + 1);
    if (Lower(name) == wanted) return true;
  }
  return false;
}

bool CloseProgramWindows(const std::string& title, const std::string& exe_name, int timeout_ms) {
  for (int waited = 0; waited < timeout_ms; waited += kPollMs) {
    if (!CloseWindowsNow(title) && !ProgramRuns(exe_name)) return true;
    platform::Sleep(kPollMs);
  }
  return false;
}

StartedProgramCloser::StartedProgramCloser(std::string title, std::string exe_name)
    : title_(std::move(title)), exe_name_(std::move(exe_name)), thread_([this] { Watch(); }) {}

StartedProgramCloser::~StartedProgramCloser() {
  stop_ = true;
  if (thread_.joinable()) thread_.join();
}

bool StartedProgramCloser::Seen() {
  if (thread_.joinable()) thread_.join();
  return seen_;
}

void StartedProgramCloser::Watch() {
  for (int waited = 0; waited < kWatchMs && !stop_; waited += kPollMs) {
    if (CloseWindowsNow(title_)) {
      seen_ = true;
    } else if (seen_ && !ProgramRuns(exe_name_)) {
      ended_ = true;
      return;
    }
    platform::Sleep(kPollMs);
  }
}

}  // namespace kivro::plugin
