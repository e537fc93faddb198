// Process snapshots, shaped like the Tool Help ones: every process of the
// system, in the order the system lists them.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace platform {

struct ProcessEntry {
  uint32_t process_id = 0;
  uint32_t parent_id = 0;
  // The executable's file name (code page 949, at most 259 characters, as
  // in Tool Help's fixed field); it may carry a path.
  std::string exe_file;
};

// The first entry is the system's idle-process pseudo-entry (id 0, name
// "[System Process]"), as Process32First returns it. False (and the last
// system error set) when no snapshot can be taken.
//
// POSIX: from /proc. The name is the program's first argument after its
// last '/' (a Windows program under Wine keeps its Windows path, whose last
// '\' callers strip), else the kernel's short command name for processes
// without arguments (kernel threads). Processes that end while the snapshot
// is taken are left out.
bool SnapshotProcesses(std::vector<ProcessEntry>* entries);

}  // namespace platform
