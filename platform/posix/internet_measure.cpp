#include "platform/internet_measure.h"

#include <sys/resource.h>

namespace platform {

uint64_t PeakResidentBytes() {
  rusage usage{};
  if (getrusage(RUSAGE_SELF, &usage) != 0) return 0;
  return static_cast<uint64_t>(usage.ru_maxrss) * 1024;  // Linux counts KiB
}

}  // namespace platform
