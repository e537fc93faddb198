// Xvfb for tests: started with -displayfd so that the server itself picks a
// free display number and tells it once it accepts connections.
#include "platform/testing/xvfb_server.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

namespace platform::testing_support {

namespace {

bool ProgramOnPath(const char* name) {
  const char* path = getenv("PATH");
  std::string dirs = path ? path : "/usr/bin:/bin";
  size_t start = 0;
  while (start <= dirs.size()) {
    size_t end = dirs.find(':', start);
    std::string dir =
        dirs.substr(start, end == std::string::npos ? std::string::npos : end - start);
    std::string full = (dir.empty() ? "." : dir) + "/" + name;
    if (access(full.c_str(), X_OK) == 0) return true;
    if (end == std::string::npos) break;
    start = end + 1;
  }
  return false;
}

}  // namespace

XvfbServer::Outcome XvfbServer::Start(int width, int height, std::string* why) {
  if (!ProgramOnPath("Xvfb")) {
    *why = "Xvfb is not installed";
    return kMissing;
  }
  int fds[2];
  if (pipe(fds) != 0) {
    *why = "pipe failed";
    return kFailed;
  }
  std::string screen = std::to_string(width) + "x" + std::to_string(height) + "x24";
  std::string fd = std::to_string(fds[1]);
  pid_t pid = fork();
  if (pid < 0) {
    close(fds[0]);
    close(fds[1]);
    *why = "fork failed";
    return kFailed;
  }
  if (pid == 0) {
    // The server goes when the test goes, however it ends.
    prctl(PR_SET_PDEATHSIG, SIGTERM);
    close(fds[0]);
    int devnull = open("/dev/null", O_WRONLY);
    if (devnull >= 0) {
      dup2(devnull, 1);
      dup2(devnull, 2);
    }
    execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", screen.c_str(), "-nolisten",
           "tcp", "-noreset", static_cast<char*>(nullptr));
    _exit(127);
  }
  close(fds[1]);
  process_ = pid;
  // The server writes its display number once it is ready.
  std::string number;
  struct pollfd p = {fds[0], POLLIN, 0};
  for (int waited = 0; waited < 15000 && number.find('\n') == std::string::npos; waited += 100) {
    if (poll(&p, 1, 100) > 0) {
      char buf[32];
      ssize_t n = read(fds[0], buf, sizeof buf);
      if (n <= 0) break;
      number.append(buf, n);
    }
  }
  close(fds[0]);
  if (number.find('\n') == std::string::npos) {
    *why = "Xvfb did not report a display";
    Stop();
    return kFailed;
  }
  display_ = atoi(number.c_str());
  const char* old = getenv("DISPLAY");
  had_display_ = old != nullptr;
  if (old) old_display_ = old;
  setenv("DISPLAY", (":" + std::to_string(display_)).c_str(), 1);
  return kStarted;
}

void XvfbServer::Stop() {
  if (process_ != kNoHandle) {
    kill(static_cast<pid_t>(process_), SIGTERM);
    int status = 0;
    waitpid(static_cast<pid_t>(process_), &status, 0);
    process_ = kNoHandle;
  }
  if (display_ >= 0) {
    if (had_display_) {
      setenv("DISPLAY", old_display_.c_str(), 1);
    } else {
      unsetenv("DISPLAY");
    }
    display_ = -1;
  }
}

}  // namespace platform::testing_support
