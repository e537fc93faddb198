// Test support: a command of the host's POSIX shell (/bin/sh -c), for the
// Linux programs that integration tests start (nginx, pyftpdlib, kill). A
// Windows test program under Wine runs it too: Wine starts Linux programs,
// though it cannot wait for them, so the shell reports its exit status
// through a file. Paths in the command are the host's ("/tmp/...").
#pragma once
#include <string>

namespace platform {

// The shell's exit status, or -1 when no host shell can be started (a real
// Windows has none: tests that need one skip) or it gives no status within
// two minutes.
int RunHostCommand(const std::string& command);

}  // namespace platform
