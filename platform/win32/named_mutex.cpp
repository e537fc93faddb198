// Named mutexes of Windows itself, under the names the system and the game
// client use; they exist while some process holds a handle.
#include "platform/named_mutex.h"

#include <windows.h>

#include "platform/win32/win_error.h"
#include "platform/win32/wide.h"

namespace platform {

NamedMutex::~NamedMutex() { Close(); }

bool NamedMutex::Create(const std::string& name, bool* already_existed) {
  Close();
  std::wstring wide = Cp949ToWide(name);
  HANDLE h = CreateMutexW(nullptr, FALSE, name.empty() ? nullptr : wide.c_str());
  if (h == nullptr) return FailWithLastError();
  if (already_existed) *already_existed = ::GetLastError() == ERROR_ALREADY_EXISTS;
  handle_ = reinterpret_cast<NativeHandle>(h);
  open_ = true;
  return true;
}

bool NamedMutex::OpenExisting(const std::string& name) {
  Close();
  if (name.empty()) return FailWith(kErrorFileNotFound);
  HANDLE h = OpenMutexW(SYNCHRONIZE, FALSE, Cp949ToWide(name).c_str());
  if (h == nullptr) return FailWithLastError();
  handle_ = reinterpret_cast<NativeHandle>(h);
  open_ = true;
  return true;
}

void NamedMutex::Close() {
  if (handle_ != kNoHandle) CloseHandle(reinterpret_cast<HANDLE>(handle_));
  handle_ = kNoHandle;
  open_ = false;
}

}  // namespace platform
