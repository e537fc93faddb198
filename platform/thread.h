// Threads and locks.
#pragma once
#include <cstdint>
#include <functional>
#include <mutex>

namespace platform {

// A re-entrant critical section: the thread that holds it may enter again.
class CriticalSection {
 public:
  void Enter() { mutex_.lock(); }
  bool TryEnter() { return mutex_.try_lock(); }
  void Leave() { mutex_.unlock(); }

 private:
  std::recursive_mutex mutex_;
};

// Starts a detached thread running `fn`. False (and the last system error
// set) when the system cannot start one; `fn` is then not run.
bool StartDetachedThread(std::function<void()> fn);

void Sleep(uint32_t milliseconds);
// Milliseconds since an arbitrary start, wrapping like GetTickCount.
uint32_t GetTickCount();
// A monotonic counter and its frequency (QueryPerformanceCounter).
int64_t PerformanceCounter();
int64_t PerformanceFrequency();

// Numeric id of the calling thread (for traces).
uint64_t CurrentThreadId();

}  // namespace platform
