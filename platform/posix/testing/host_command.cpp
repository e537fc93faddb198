#include "platform/testing/host_command.h"

#include <sys/wait.h>

#include <cstdlib>

namespace platform {

int RunHostCommand(const std::string& command) {
  int status = std::system(command.c_str());
  if (status == -1) return -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

}  // namespace platform
