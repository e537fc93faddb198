#include "platform/process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "platform/codepage.h"
#include "platform/error.h"
#include "platform/paths.h"
#include "platform/posix/errno_map.h"
#include "platform/thread.h"

extern char** environ;

namespace platform {

namespace {

// The first bytes of a file; empty when it cannot be read.
std::string FileStart(const std::string& path) {
  char buffer[2] = {};
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return std::string();
  ssize_t n = read(fd, buffer, sizeof buffer);
  close(fd);
  return n > 0 ? std::string(buffer, static_cast<size_t>(n)) : std::string();
}

std::string FindInPath(const std::string& name) {
  const char* path = std::getenv("PATH");
  std::string dirs = path ? path : "/usr/local/bin:/usr/bin:/bin";
  size_t start = 0;
  while (start <= dirs.size()) {
    size_t end = dirs.find(':', start);
    if (end == std::string::npos) end = dirs.size();
    std::string candidate = dirs.substr(start, end - start) + "/" + name;
    if (end > start && access(candidate.c_str(), X_OK) == 0) return candidate;
    start = end + 1;
  }
  return std::string();
}

bool Fail(int32_t error) {
  SetLastSystemError(error);
  return false;
}

// Reaps a child that nobody waits for any more.
void ReapLater(pid_t pid) {
  if (!StartDetachedThread([pid] {
        int status;
        while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
        }
      })) {
    // Without a thread the child stays a zombie until we end: harmless.
  }
}

}  // namespace

Process::~Process() {
  if (handle_ != kNoHandle && !ended_) ReapLater(static_cast<pid_t>(handle_));
}

bool Process::Start(const std::string& program, const std::vector<std::string>& arguments,
                    const std::string& current_directory) {
  if (handle_ != kNoHandle && !ended_) ReapLater(static_cast<pid_t>(handle_));
  handle_ = kNoHandle;
  id_ = -1;
  ended_ = false;
  exit_code_ = 0;
  if (program.empty()) return Fail(kErrorFileNotFound);

  std::string posix_program = ToPosixPath(program);
  struct stat st;
  if (stat(posix_program.c_str(), &st) != 0) return FailWithErrno();
  if (!S_ISREG(st.st_mode)) return Fail(kErrorAccessDenied);

  // Everything the child needs is prepared here: after fork only
  // async-signal-safe calls may run.
  std::vector<std::string> argv_text;
  if (FileStart(posix_program) == "MZ" && access(posix_program.c_str(), X_OK) != 0) {
    std::string wine = FindInPath("wine");
    if (wine.empty()) return Fail(kErrorNotSupported);
    argv_text.push_back(wine);
  } else if (access(posix_program.c_str(), X_OK) != 0) {
    return Fail(kErrorAccessDenied);
  }
  argv_text.push_back(posix_program);
  for (const std::string& a : arguments) argv_text.push_back(Cp949ToUtf8(a));
  std::vector<char*> argv;
  for (std::string& a : argv_text) argv.push_back(a.data());
  argv.push_back(nullptr);
  std::string directory = current_directory.empty() ? std::string()
                                                    : ToPosixPath(current_directory);

  // A pipe closed by a successful exec; a failed one writes its errno.
  int report[2];
  if (pipe2(report, O_CLOEXEC) != 0) return FailWithErrno();
  pid_t pid = fork();
  if (pid < 0) {
    close(report[0]);
    close(report[1]);
    return FailWithErrno();
  }
  if (pid == 0) {
    setpgid(0, 0);
    int null_fd = open("/dev/null", O_RDONLY);
    if (null_fd >= 0) {
      dup2(null_fd, 0);
      if (null_fd != 0) close(null_fd);
    }
    int error = 0;
    if (!directory.empty() && chdir(directory.c_str()) != 0) error = errno;
    if (error == 0) {
      execve(argv[0], argv.data(), environ);
      error = errno;
    }
    (void)!write(report[1], &error, sizeof error);
    _exit(127);
  }
  close(report[1]);
  int error = 0;
  ssize_t n;
  do {
    n = read(report[0], &error, sizeof error);
  } while (n < 0 && errno == EINTR);
  close(report[0]);
  if (n == sizeof error) {
    int status;
    waitpid(pid, &status, 0);
    SetLastSystemError(ErrorFromErrno(error));
    return false;
  }
  handle_ = pid;
  id_ = pid;
  return true;
}

bool Process::Wait(uint32_t timeout_ms) {
  if (handle_ == kNoHandle) return Fail(kErrorInvalidHandle);
  if (ended_) return true;
  uint32_t start = GetTickCount();
  for (;;) {
    int status = 0;
    pid_t r = waitpid(static_cast<pid_t>(handle_), &status,
                      timeout_ms == kInfinite ? 0 : WNOHANG);
    if (r == static_cast<pid_t>(handle_)) {
      ended_ = true;
      exit_code_ = WIFEXITED(status) ? static_cast<uint32_t>(WEXITSTATUS(status))
                                     : 128u + static_cast<uint32_t>(WTERMSIG(status));
      return true;
    }
    if (r < 0 && errno != EINTR) return FailWithErrno();
    if (timeout_ms != kInfinite && GetTickCount() - start >= timeout_ms) {
      return Fail(kErrorTimeout);
    }
    if (timeout_ms != kInfinite) Sleep(5);
  }
}

bool Process::Terminate() {
  if (handle_ == kNoHandle) return Fail(kErrorInvalidHandle);
  if (ended_) return true;
  kill(static_cast<pid_t>(handle_), SIGKILL);
  return Wait();
}

bool Process::ExitCode(uint32_t* code) const {
  if (!ended_ || code == nullptr) return Fail(kErrorInvalidHandle);
  *code = exit_code_;
  return true;
}

bool ShellOpen(const std::string& file, const std::string& parameters,
               const std::string& directory) {
  std::string folder = directory.empty() ? DirectoryPart(file) : directory;
  Process process;
  // The destructor reaps the program when it ends.
  return process.Start(file, SplitCommandLine(parameters), folder);
}

}  // namespace platform
