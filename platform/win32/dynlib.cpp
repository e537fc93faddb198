#include "platform/dynlib.h"

#include <windows.h>

#include "platform/error.h"
#include "platform/win32/wide.h"

namespace platform {

namespace {

std::string SystemMessage(DWORD code) {
  wchar_t* text = nullptr;
  DWORD n = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                               FORMAT_MESSAGE_IGNORE_INSERTS,
                           nullptr, code, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  std::wstring message = n && text ? std::wstring(text, n) : std::wstring();
  if (text) LocalFree(text);
  while (!message.empty() && (message.back() == L'\n' || message.back() == L'\r')) message.pop_back();
  return message.empty() ? "cannot load (error " + std::to_string(code) + ")" : WideToCp949(message);
}

}  // namespace

DynamicLibrary::~DynamicLibrary() { Unload(); }

bool DynamicLibrary::Load(const std::string& windows_path) {
  Unload();
  // The library at that path, never one found by a search (a bare name is
  // taken from the current folder); the libraries it needs come from its
  // own folder, the program's folder and the system folder only, never from
  // the current folder or PATH.
  std::wstring path = FullWidePath(WidePath(windows_path));
  const DWORD restricted = LOAD_LIBRARY_SEARCH_DLL_LOAD_DIR | LOAD_LIBRARY_SEARCH_APPLICATION_DIR |
                           LOAD_LIBRARY_SEARCH_SYSTEM32;
  HMODULE module = LoadLibraryExW(path.c_str(), nullptr, restricted);
  // Windows before the restricted search (no KB2533623) refuses its flags.
  if (module == nullptr && ::GetLastError() == ERROR_INVALID_PARAMETER)
    module = LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
  if (module == nullptr) {
    error_ = SystemMessage(::GetLastError());
    SetLastSystemError(kErrorModNotFound);
    return false;
  }
  handle_ = module;
  error_.clear();
  return true;
}

void DynamicLibrary::Unload() {
  if (handle_ != nullptr) FreeLibrary(static_cast<HMODULE>(handle_));
  handle_ = nullptr;
}

void* DynamicLibrary::Find(const char* name) const {
  if (handle_ == nullptr) {
    SetLastSystemError(kErrorInvalidHandle);
    return nullptr;
  }
  void* address = reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(handle_), name));
  if (address == nullptr) SetLastSystemError(kErrorProcNotFound);
  return address;
}

std::wstring ModuleFileNameOf(void* module) {
  // GetModuleFileNameW returns the capacity (and truncates) when it is too small.
  std::wstring buffer(MAX_PATH, L'\0');
  for (int attempt = 0; attempt < 8; ++attempt) {
    DWORD n = GetModuleFileNameW(static_cast<HMODULE>(module), buffer.data(), static_cast<DWORD>(buffer.size()));
    if (n == 0) return std::wstring();
    if (n < buffer.size()) {
      buffer.resize(n);
      return buffer;
    }
    buffer.resize(buffer.size() * 2);
  }
  return std::wstring();
}

std::string ModulePathOf(const void* address) {
  HMODULE module = nullptr;
  if (address == nullptr ||
      !GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                          static_cast<LPCWSTR>(address), &module))
    return "";
  std::wstring path = ModuleFileNameOf(module);
  // The long-path prefix is ours to add, never part of a path we hand out.
  if (path.rfind(L"\\\\?\\", 0) == 0) path.erase(0, 4);
  return WideToCp949(path);
}

}  // namespace platform
