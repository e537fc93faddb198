#include "plugin/started_program_closer.h"

#include <utility>
#include <vector>

#include "platform/codepage.h"
#include "platform/processes.h"
#include "platform/thread.h"
#include "platform/top_windows.h"

namespace kivro::plugin {

namespace {

constexpr uint32_t kWmClose = 0x0010;
constexpr int kPollMs = 100;
constexpr int kWatchMs = 60000;

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

// A listed process's file name without the path it may carry (Wine keeps
// the Windows one).
std::string FileName(const platform::ProcessEntry& entry) {
  size_t slash = entry.exe_file.find_last_of("\\/");
  return slash == std::string::npos ? entry.exe_file : entry.exe_file.substr(slash + 1);
}

const platform::ProcessEntry* Named(const std::vector<platform::ProcessEntry>& entries,
                                    const std::string& exe_name) {
  for (const platform::ProcessEntry& entry : entries) {
    if (platform::ToLowerAscii(FileName(entry)) == platform::ToLowerAscii(exe_name)) return &entry;
  }
  return nullptr;
}

}  // namespace

bool ProgramRuns(const std::string& exe_name) {
  std::vector<platform::ProcessEntry> entries;
  if (!platform::SnapshotProcesses(&entries)) return true;  // unknown: assume it runs
  return Named(entries, exe_name) != nullptr;
}

std::string ParentOfProgram(const std::string& exe_name) {
  std::vector<platform::ProcessEntry> entries;
  if (!platform::SnapshotProcesses(&entries)) return "";
  const platform::ProcessEntry* program = Named(entries, exe_name);
  if (program == nullptr || program->parent_id == 0) return "";
  for (const platform::ProcessEntry& entry : entries) {
    if (entry.process_id == program->parent_id) return FileName(entry);
  }
  return "";
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
    // Who started it is read while it still runs, before it is closed.
    if (!seen_ && platform::FindTopLevelWindow(title_) != 0) {
      started_by_ = ParentOfProgram(exe_name_);
    }
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
