// Test support (Windows backend): runs a program with its standard output
// and error captured, as a test reads a console program's answer. The
// program gets no console of its own and no input. (POSIX tests read a
// program's output through the shell instead.)
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace platform {

// Runs `program` (a Windows path) with `arguments`, waits up to
// `timeout_ms` for it to end, and returns its exit code with everything it
// wrote in `output`; -1 when it cannot be started or does not end in time
// (it is ended then).
int RunCapturingOutput(const std::string& program, const std::vector<std::string>& arguments,
                       std::string* output, uint32_t timeout_ms = 120000);

}  // namespace platform
