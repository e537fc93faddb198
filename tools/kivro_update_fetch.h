// `kivro-update fetch`: one file through the update manager's DownloadFile,
// with the chosen transfer method or the peer-to-peer engine, for operators
// and scripts.
#pragma once
#include <cstdint>
#include <string>

// argv[0] is "fetch". Answers the process exit code: 0 when the file is
// complete, 2 for usage errors, otherwise the download's result code (1
// stopped, or an error code; codes above 255 become 1).

namespace kivro {

int FetchCommand(int argc, char** argv);

// A LOCAL_PATH as given on the command line -> the Windows path the system
// uses: "X:..." stays as it is, anything else is a POSIX path.
std::string FetchLocalPath(const std::string& argument);

// The progress line drawn on a terminal, `columns` wide at most.
std::string FetchProgressLine(uint32_t total, uint32_t received, int columns);

}  // namespace kivro
