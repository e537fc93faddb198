#include "sysinfo/clock_meter.h"

namespace kivro {

int64_t ClockMeter::TimedRun(bool baseline) {
  try {
    int64_t before = int64_t(counters_.read_time_stamp_counter());
    Spin(kMilliseconds, baseline);
    int64_t after = int64_t(counters_.read_time_stamp_counter());
    return after - before;
  } catch (...) {
    return -1;
  }
}

void ClockMeter::Spin(int milliseconds, bool baseline) {
  int64_t frequency = 0, start = 0, now = 0;
  if (!counters_.query_performance_frequency(&frequency)) return;
  const int64_t target = (frequency / 1000) * milliseconds;
  counters_.query_performance_counter(&start);
  do {
    counters_.query_performance_counter(&now);
  } while (baseline ? now - start == target : now - start < target);
}

void ClockMeter::Measure() {
  int64_t cycles = TimedRun(false) - TimedRun(true);
  mhz_ = int32_t((cycles / kMilliseconds) / 1000);
}

}  // namespace kivro
