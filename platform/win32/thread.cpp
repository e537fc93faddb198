#include "platform/thread.h"

#include <windows.h>

#include <memory>

#include "platform/win32/win_error.h"

namespace platform {

namespace {

DWORD WINAPI RunDetached(void* parameter) {
  std::unique_ptr<std::function<void()>> fn(static_cast<std::function<void()>*>(parameter));
  (*fn)();
  return 0;
}

int64_t QueryFrequency() {
  LARGE_INTEGER frequency;
  QueryPerformanceFrequency(&frequency);
  return frequency.QuadPart;
}

}  // namespace

bool StartDetachedThread(std::function<void()> fn) {
  auto* owned = new std::function<void()>(std::move(fn));
  HANDLE thread = CreateThread(nullptr, 0, RunDetached, owned, 0, nullptr);
  if (thread == nullptr) {
    delete owned;
    return FailWithLastError();
  }
  CloseHandle(thread);  // detached: nobody waits for it
  return true;
}

void Sleep(uint32_t milliseconds) { ::Sleep(milliseconds); }

// From the performance counter: the system's own tick count moves in steps
// of 10 to 16 ms, too coarse for the short time-outs measured with it.
uint32_t GetTickCount() {
  return static_cast<uint32_t>(PerformanceCounter() / (PerformanceFrequency() / 1000));
}

int64_t PerformanceCounter() {
  LARGE_INTEGER counter;
  QueryPerformanceCounter(&counter);
  return counter.QuadPart;
}

int64_t PerformanceFrequency() {
  static const int64_t frequency = QueryFrequency();
  return frequency;
}

uint64_t CurrentThreadId() { return GetCurrentThreadId(); }

}  // namespace platform
