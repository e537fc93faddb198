// Measures the processor clock: time-stamp-counter cycles over 50 ms of the
// high-resolution performance counter, less the cost of the same set-up
// without the wait.
#pragma once
#include <cstdint>
#include <functional>

// The counters the measurement reads; tests hand in counters of their own.

namespace kivro {

struct ClockCounters {
  std::function<uint64_t()> read_time_stamp_counter;
  std::function<bool(int64_t*)> query_performance_frequency;
  std::function<bool(int64_t*)> query_performance_counter;
};
ClockCounters SystemClockCounters();

class ClockMeter {
 public:
  static constexpr int kMilliseconds = 50;

  explicit ClockMeter(ClockCounters counters) : counters_(std::move(counters)) {}
  // Busy-waits about 50 ms and stores the clock in MHz.
  void Measure();
  int mhz() const { return mhz_; }

 private:
  // Time-stamp cycles spent in Spin; -1 when a counter throws.
  int64_t TimedRun(bool baseline);
  // Reads the performance counter until `milliseconds` have passed or, as
  // the baseline, with the same set-up only while exactly that much has
  // passed (one reading in practice).
  void Spin(int milliseconds, bool baseline);

  ClockCounters counters_;
  int32_t mhz_ = 0;
};

}  // namespace kivro
