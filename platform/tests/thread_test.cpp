#include "platform/thread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <mutex>

#include "platform/debug.h"

namespace platform {
namespace {

TEST(Thread, CriticalSectionIsReentrantForItsOwner) {
  CriticalSection cs;
  cs.Enter();
  EXPECT_TRUE(cs.TryEnter());
  cs.Leave();
  cs.Leave();
}

TEST(Thread, DetachedThreadsRunAndCountersAdvance) {
  std::mutex m;
  std::condition_variable cv;
  int done = 0;
  for (int i = 0; i < 4; ++i) {
    ASSERT_TRUE(StartDetachedThread([&] {
      std::lock_guard<std::mutex> lock(m);
      ++done;
      cv.notify_all();
    }));
  }
  std::unique_lock<std::mutex> lock(m);
  ASSERT_TRUE(cv.wait_for(lock, std::chrono::seconds(10), [&] { return done == 4; }));
  uint32_t t0 = GetTickCount();
  int64_t p0 = PerformanceCounter();
  Sleep(20);
  EXPECT_GE(GetTickCount() - t0, 19u);
  EXPECT_GE(PerformanceCounter() - p0, PerformanceFrequency() / 50 - PerformanceFrequency() / 1000);
}

}  // namespace
}  // namespace platform
