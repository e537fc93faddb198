// Ends a program that something else started (the plug-in, the shell) the
// way a player would: it watches for the program's top-level windows (its
// main window and its message boxes carry one title) and closes each, from
// a thread of its own while the test waits for whoever started it.
#pragma once
#include <atomic>
#include <string>
#include <thread>

namespace kivro::plugin {

// Whether a process whose file name (case aside) is `exe_name` runs.
bool ProgramRuns(const std::string& exe_name);

// The file name of the process that started the running `exe_name`; ""
// when it does not run or its parent has already ended.
std::string ParentOfProgram(const std::string& exe_name);

// Sends WM_CLOSE to every top-level window titled `title` until none is
// left and no process named `exe_name` runs, or `timeout_ms` passed; true
// when both hold.
bool CloseProgramWindows(const std::string& title, const std::string& exe_name, int timeout_ms);

class StartedProgramCloser {
 public:
  // Watches for a minute.
  StartedProgramCloser(std::string title, std::string exe_name);
  ~StartedProgramCloser();
  // Waits until the program's window was seen and the program has ended
  // (or the minute passed); whether a window of it was seen.
  bool Seen();
  // After Seen(): whether every window was closed and the program ended.
  bool Ended() const { return ended_; }
  // After Seen(): the file name of the process that started the program,
  // as the system listed it when its window first showed ("" when unknown).
  const std::string& StartedBy() const { return started_by_; }

 private:
  void Watch();
  const std::string title_, exe_name_;
  std::atomic<bool> stop_{false}, seen_{false}, ended_{false};
  std::string started_by_;  // written by the thread before seen_
  std::thread thread_;
};

}  // namespace kivro::plugin
