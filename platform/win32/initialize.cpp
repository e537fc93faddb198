#include "platform/initialize.h"

#include <winsock2.h>
#include <windows.h>
#include <objbase.h>

#include "platform/win32/console_text.h"
#include "platform/win32/win_error.h"

namespace platform {

// Winsock 2.2 for the internet layer, the main thread's COM apartment
// (single-threaded, as windows and the plug-in's objects need) and the
// console, which reads the UTF-8 the tools print.
bool Initialize() {
  PrepareConsole();
  WSADATA data;
  int started = WSAStartup(MAKEWORD(2, 2), &data);
  if (started != 0) return FailWith(started);
  HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
  // S_FALSE: already entered; RPC_E_CHANGED_MODE: the thread chose another
  // apartment before us, which still lets COM work.
  if (FAILED(com) && com != RPC_E_CHANGED_MODE) return FailWith(kErrorNotSupported);
  return true;
}

}  // namespace platform
