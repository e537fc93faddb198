// Processes: starting programs by their Windows path, waiting for them, and
// the shell's "open" of a program.
//
// A native program, or a script with its run bit, runs directly; a Windows
// program (a file that starts with "MZ") runs through `wine` when that is
// installed. Arguments and paths are code page 949 and reach the program as
// UTF-8. Not shared between threads.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "platform/handle.h"

namespace platform {

class Process {
 public:
  static constexpr uint32_t kInfinite = 0xFFFFFFFFu;

  Process() = default;
  // Never ends the program; one still running is waited for in the
  // background so it leaves no zombie.
  ~Process();
  Process(const Process&) = delete;
  Process& operator=(const Process&) = delete;

  // Starts `program` with `arguments` (not including the program itself),
  // detached from the caller's console and in a process group of its own,
  // with the caller's environment, reading no input, in `current_directory`
  // (empty: the caller's). False, with the last system error set, when it
  // cannot be started: missing (kErrorFileNotFound), not runnable
  // (kErrorAccessDenied), a Windows program without wine (kErrorNotSupported).
  bool Start(const std::string& program, const std::vector<std::string>& arguments,
             const std::string& current_directory = std::string());

  // True when the program has ended within `timeout_ms`.
  bool Wait(uint32_t timeout_ms = kInfinite);
  // TerminateProcess: ends the program at once (SIGKILL) and reaps it.
  bool Terminate();
  // The exit code of a program that has ended (a signal gives 128 + its number).
  bool ExitCode(uint32_t* code) const;
  bool IsStarted() const { return handle_ != kNoHandle; }
  // The system's number of the process.
  int64_t Id() const { return id_; }

 private:
  NativeHandle handle_ = kNoHandle;  // on POSIX the process id itself
  int64_t id_ = -1;
  bool ended_ = false;
  uint32_t exit_code_ = 0;
};

// Splits a Windows command line into its arguments, as programs built with
// the Microsoft C runtime do (double quotes group, backslashes escape quotes
// only before them).
std::vector<std::string> SplitCommandLine(const std::string& command_line);

// The shell's "open" of a program: starts `file` with the arguments in
// `parameters` (a command line), in `directory`, or in the program's own
// folder when it is empty, and does not wait for it.
bool ShellOpen(const std::string& file, const std::string& parameters,
               const std::string& directory = std::string());

}  // namespace platform
