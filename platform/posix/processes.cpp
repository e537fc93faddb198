#include "platform/processes.h"

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>

#include "platform/codepage.h"
#include "platform/error.h"
#include "platform/posix/fd_io.h"

namespace platform {
namespace {

constexpr size_t kExeFileMax = 259;  // Tool Help's 260-byte field, cut there

// Plain reads: a process may end while it is being read, and then a read
// fails with ESRCH, which must mean "gone", never an exception. A name never
// needs more than 1 MiB.
bool ReadFile(const std::string& path, std::string* content) {
  return ReadPosixFile(path, content, false, 1u << 20);
}

bool ReadProcess(uint32_t pid, ProcessEntry* entry) {
  const std::string dir = "/proc/" + std::to_string(pid);
  std::string stat;
  if (!ReadFile(dir + "/stat", &stat) || stat.empty()) return false;
  // "pid (comm) state ppid ...": comm may hold ') ', so take the last one.
  size_t open = stat.find('('), close = stat.rfind(')');
  if (open == std::string::npos || close == std::string::npos || close < open) return false;
  std::string comm = stat.substr(open + 1, close - open - 1);
  unsigned ppid = 0;
  char state = 0;
  if (std::sscanf(stat.c_str() + close + 1, " %c %u", &state, &ppid) != 2) ppid = 0;

  std::string cmdline, name;
  if (ReadFile(dir + "/cmdline", &cmdline) && !cmdline.empty()) {
    std::string argv0 = cmdline.substr(0, cmdline.find('\0'));
    size_t slash = argv0.rfind('/');
    name = slash == std::string::npos ? argv0 : argv0.substr(slash + 1);
  }
  if (name.empty()) name = comm;
  name = Utf8ToCp949(name);
  if (name.size() > kExeFileMax) name.resize(kExeFileMax);
  entry->process_id = pid;
  entry->parent_id = ppid;
  entry->exe_file = name;
  return true;
}

}  // namespace

bool SnapshotProcesses(std::vector<ProcessEntry>* entries) {
  entries->clear();
  DIR* proc = opendir("/proc");
  if (proc == nullptr) {
    SetLastSystemError(kErrorAccessDenied);
    return false;
  }
  std::vector<uint32_t> pids;
  while (dirent* d = readdir(proc)) {
    char* end = nullptr;
    unsigned long pid = std::strtoul(d->d_name, &end, 10);
    if (end != d->d_name && *end == '\0' && pid > 0 && pid <= 0xFFFFFFFFul)
      pids.push_back(uint32_t(pid));
  }
  closedir(proc);
  std::sort(pids.begin(), pids.end());

  ProcessEntry idle;
  idle.exe_file = "[System Process]";
  entries->push_back(idle);
  for (uint32_t pid : pids) {
    ProcessEntry e;
    if (ReadProcess(pid, &e)) entries->push_back(std::move(e));
  }
  return true;
}

}  // namespace platform
