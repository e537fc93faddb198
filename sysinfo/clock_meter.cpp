#include "sysinfo/clock_meter.h"

int64_t ClockMeter::TimedRun(void (ClockMeter::*routine)(int), int argument) {
  try {
    int64_t before = int64_t(counters_.read_time_stamp_counter());
    (this->*routine)(argument);
    int64_t after = int64_t(counters_.read_time_stamp_counter());
    return after - before;
  } catch (...) {
    return -1;
  }
}

void ClockMeter::Wait(int milliseconds) {
  int64_t frequency = 0, start = 0, now = 0;
  if (!counters_.query_performance_frequency(&frequency)) return;
  const int64_t target = (frequency / 1000) * milliseconds;
  counters_.query_performance_counter(&start);
  do {
    counters_.query_performance_counter(&now);
  } while (now - start < target);
}

void ClockMeter::Baseline(int milliseconds) {
  // The same set-up as Wait; the loop ends after one reading in practice.
  int64_t frequency = 0, start = 0, now = 0;
  if (!counters_.query_performance_frequency(&frequency)) return;
  const int64_t target = (frequency / 1000) * milliseconds;
  counters_.query_performance_counter(&start);
  do {
    counters_.query_performance_counter(&now);
  } while (now - start == target);
}

void ClockMeter::Measure() {
  int64_t cycles = TimedRun(&ClockMeter::Wait, kMilliseconds) -
                   TimedRun(&ClockMeter::Baseline, kMilliseconds);
  mhz_ = int32_t((cycles / kMilliseconds) / 1000);
}
