// Programs started with CreateProcessW: the program by its full path (never
// searched for, never taken from the command line) and a command line
// quoted so that each argument arrives as given.
#include "platform/process.h"

#include <windows.h>
#include <shellapi.h>

#include "platform/paths.h"
#include "platform/win32/command_line_quote.h"
#include "platform/win32/win_error.h"
#include "platform/win32/wide.h"

namespace platform {

namespace {

// The exit code of a program ended by Terminate, as a killed program
// reports on POSIX (128 + SIGKILL), so callers see one value on every system.
constexpr UINT kTerminatedExitCode = 137;

bool FailStart(DWORD error) {
  // A file that is no program of this machine: "not runnable".
  if (error == ERROR_BAD_EXE_FORMAT || error == ERROR_EXE_MACHINE_TYPE_MISMATCH)
    return FailWith(kErrorAccessDenied);
  return FailWith(static_cast<int32_t>(error));
}

}  // namespace

Process::~Process() {
  // Never ends the program; Windows keeps no zombie once the handle closes.
  if (handle_ != kNoHandle) CloseHandle(reinterpret_cast<HANDLE>(handle_));
}

bool Process::Start(const std::string& program, const std::vector<std::string>& arguments,
                    const std::string& current_directory) {
  if (handle_ != kNoHandle) CloseHandle(reinterpret_cast<HANDLE>(handle_));
  handle_ = kNoHandle;
  id_ = -1;
  ended_ = false;
  exit_code_ = 0;
  if (program.empty()) return FailWith(kErrorFileNotFound);

  std::wstring path = FullWidePath(WidePath(program));
  DWORD attributes = GetFileAttributesW(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return FailWithLastError();
  if (attributes & FILE_ATTRIBUTE_DIRECTORY) return FailWith(kErrorAccessDenied);

  std::vector<std::wstring> wide_arguments;
  for (const std::string& a : arguments) wide_arguments.push_back(Cp949ToWide(a));
  std::wstring line = BuildCommandLine(path, wide_arguments);
  std::wstring directory = current_directory.empty() ? std::wstring() : WidePath(current_directory);

  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info{};
  // No console of ours and no handles inherited: the program reads no input
  // and has a process group of its own.
  DWORD flags = DETACHED_PROCESS | CREATE_NEW_PROCESS_GROUP | CREATE_UNICODE_ENVIRONMENT;
  if (!CreateProcessW(path.c_str(), line.data(), nullptr, nullptr, FALSE, flags, nullptr,
                      directory.empty() ? nullptr : directory.c_str(), &startup, &info))
    return FailStart(::GetLastError());
  CloseHandle(info.hThread);
  handle_ = reinterpret_cast<NativeHandle>(info.hProcess);
  id_ = info.dwProcessId;
  return true;
}

bool Process::Wait(uint32_t timeout_ms) {
  if (handle_ == kNoHandle) return FailWith(kErrorInvalidHandle);
  if (ended_) return true;
  HANDLE h = reinterpret_cast<HANDLE>(handle_);
  DWORD r = WaitForSingleObject(h, timeout_ms == kInfinite ? INFINITE : timeout_ms);
  if (r == WAIT_TIMEOUT) return FailWith(kErrorTimeout);
  if (r != WAIT_OBJECT_0) return FailWithLastError();
  DWORD code = 0;
  if (!GetExitCodeProcess(h, &code)) return FailWithLastError();
  exit_code_ = code;
  ended_ = true;
  return true;
}

bool Process::Terminate() {
  if (handle_ == kNoHandle) return FailWith(kErrorInvalidHandle);
  if (ended_) return true;
  // A program that ended meanwhile refuses; the wait tells either way.
  TerminateProcess(reinterpret_cast<HANDLE>(handle_), kTerminatedExitCode);
  return Wait();
}

bool Process::ExitCode(uint32_t* code) const {
  if (!ended_ || code == nullptr) return FailWith(kErrorInvalidHandle);
  *code = exit_code_;
  return true;
}

bool ShellOpen(const std::string& file, const std::string& parameters, const std::string& directory) {
  std::wstring path = FullWidePath(WidePath(file));
  std::wstring wide_parameters = Cp949ToWide(parameters);
  std::string folder = directory.empty() ? DirectoryPart(file) : directory;
  std::wstring wide_folder = folder.empty() ? std::wstring() : WidePath(folder);
  SHELLEXECUTEINFOW info{};
  info.cbSize = sizeof info;
  // No message box of the shell's own, and done before returning (no thread
  // of the shell left behind).
  info.fMask = SEE_MASK_NOASYNC | SEE_MASK_FLAG_NO_UI;
  info.lpVerb = L"open";
  info.lpFile = path.c_str();
  info.lpParameters = wide_parameters.empty() ? nullptr : wide_parameters.c_str();
  info.lpDirectory = wide_folder.empty() ? nullptr : wide_folder.c_str();
  info.nShow = SW_SHOWNORMAL;
  return ShellExecuteExW(&info) != 0 || FailWithLastError();
}

}  // namespace platform
