#include "platform/testing/host_command.h"

#include <windows.h>

#include <atomic>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

#include "platform/win32/wide.h"

namespace platform {

namespace {

// The host's root as Wine shows it: Z: is "/" in every Wine prefix.
constexpr wchar_t kHostShell[] = L"Z:\\bin\\sh";
constexpr char kHostTemp[] = "Z:\\tmp\\";

bool ReadStatus(const std::string& path, int* status) {
  std::ifstream in(path);
  return static_cast<bool>(in >> *status);
}

}  // namespace

// The command goes into a script file, so it reaches the shell unchanged by
// any Windows command-line quoting; the script writes its status file last,
// by a rename, so a status read is always complete.
int RunHostCommand(const std::string& command) {
  if (GetFileAttributesW(kHostShell) == INVALID_FILE_ATTRIBUTES) return -1;
  static std::atomic<unsigned> counter{0};
  const std::string name = "kivro-host-" + std::to_string(GetCurrentProcessId()) + "-" +
                           std::to_string(counter++);
  const std::string script = std::string(kHostTemp) + name + ".sh";
  const std::string status_file = std::string(kHostTemp) + name + ".status";
  const std::string host_status = "/tmp/" + name + ".status";
  {
    std::ofstream out(script, std::ios::binary | std::ios::trunc);
    out << "( " << command << "\n) </dev/null\n"
        << "echo $? >'" << host_status << ".part' && mv '" << host_status << ".part' '" << host_status
        << "'\n";
    if (!out) return -1;
  }
  std::wstring line = L"\"Z:\\bin\\sh\" \"/tmp/" + Utf8ToWide(name) + L".sh\"";
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info{};
  if (!CreateProcessW(kHostShell, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                      &info)) {
    DeleteFileA(script.c_str());
    return -1;
  }
  if (info.hThread != nullptr) CloseHandle(info.hThread);
  if (info.hProcess != nullptr) CloseHandle(info.hProcess);
  int status = -1;
  for (int waited = 0; waited < 120000 && !ReadStatus(status_file, &status); waited += 5) ::Sleep(5);
  DeleteFileA(script.c_str());
  DeleteFileA(status_file.c_str());
  return status;
}

}  // namespace platform
