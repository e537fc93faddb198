// A console program's output through a pipe: the program's standard output
// and error are the pipe's write end (inherited), and no console is made
// for it, so nothing of it reaches a window or the caller's console.
#include "platform/testing/program_output.h"

#include <windows.h>

#include "platform/win32/command_line_quote.h"
#include "platform/win32/wide.h"

namespace platform {

int RunCapturingOutput(const std::string& program, const std::vector<std::string>& arguments,
                       std::string* output, uint32_t timeout_ms) {
  output->clear();
  SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
  HANDLE read_end = nullptr, write_end = nullptr;
  if (!CreatePipe(&read_end, &write_end, &inherit, 0)) return -1;
  SetHandleInformation(read_end, HANDLE_FLAG_INHERIT, 0);
  HANDLE nothing = CreateFileW(L"NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                               OPEN_EXISTING, 0, nullptr);

  std::wstring path = Cp949ToWide(program);
  std::vector<std::wstring> wide_arguments;
  for (const auto& a : arguments) wide_arguments.push_back(Cp949ToWide(a));
  std::wstring command_line = BuildCommandLine(path, wide_arguments);
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = nothing;
  startup.hStdOutput = write_end;
  startup.hStdError = write_end;
  PROCESS_INFORMATION process{};
  BOOL started = CreateProcessW(path.c_str(), command_line.data(), nullptr, nullptr, TRUE,
                                CREATE_NO_WINDOW, nullptr, nullptr, &startup, &process);
  // Only the program holds the write end now: the pipe ends with it.
  CloseHandle(write_end);
  if (nothing != INVALID_HANDLE_VALUE) CloseHandle(nothing);
  if (!started) {
    CloseHandle(read_end);
    return -1;
  }
  CloseHandle(process.hThread);

  // Read while the program runs, then what it left in the pipe. Not to the
  // pipe's end: a program it started may hold the write end for longer.
  std::string collected;
  auto drain = [&] {
    DWORD available = 0;
    char buffer[4096];
    while (PeekNamedPipe(read_end, nullptr, 0, nullptr, &available, nullptr) && available > 0) {
      DWORD got = 0;
      if (!ReadFile(read_end, buffer, sizeof buffer, &got, nullptr) || got == 0) break;
      collected.append(buffer, got);
    }
  };
  int code = -1;
  DWORD waited = 0;
  for (;;) {
    drain();
    DWORD state = WaitForSingleObject(process.hProcess, 10);
    if (state == WAIT_OBJECT_0) {
      DWORD exit_code = 0;
      if (GetExitCodeProcess(process.hProcess, &exit_code)) code = static_cast<int>(exit_code);
      break;
    }
    waited += 10;
    if (state != WAIT_TIMEOUT || waited >= timeout_ms) {
      TerminateProcess(process.hProcess, 1);
      WaitForSingleObject(process.hProcess, INFINITE);
      break;
    }
  }
  drain();
  CloseHandle(process.hProcess);
  CloseHandle(read_end);
  *output = collected;
  return code;
}

}  // namespace platform
