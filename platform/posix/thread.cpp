#include "platform/thread.h"

#include <time.h>
#include <unistd.h>

#include <system_error>
#include <thread>

#include "platform/error.h"

namespace platform {

bool StartDetachedThread(std::function<void()> fn) {
  try {
    std::thread(std::move(fn)).detach();
    return true;
  } catch (const std::system_error&) {
    SetLastSystemError(kErrorNotEnoughMemory);
    return false;
  }
}

void Sleep(uint32_t milliseconds) {
  struct timespec ts;
  ts.tv_sec = milliseconds / 1000;
  ts.tv_nsec = static_cast<long>(milliseconds % 1000) * 1000000L;
  while (nanosleep(&ts, &ts) != 0) {
  }
}

uint32_t GetTickCount() {
  struct timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<uint32_t>(static_cast<uint64_t>(ts.tv_sec) * 1000u + ts.tv_nsec / 1000000);
}

int64_t PerformanceCounter() {
  struct timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<int64_t>(ts.tv_sec) * 1000000000LL + ts.tv_nsec;
}

int64_t PerformanceFrequency() { return 1000000000LL; }

uint64_t CurrentThreadId() { return static_cast<uint64_t>(gettid()); }

}  // namespace platform
