// Measurements for the transfer benchmarks.
#pragma once
#include <cstdint>

namespace platform {

// The most memory the calling process has held resident so far, in bytes
// (0 when the system cannot tell).
uint64_t PeakResidentBytes();

}  // namespace platform
