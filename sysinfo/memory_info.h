// Physical memory for the client report.
#pragma once
#include <cstdint>
#include <functional>

#include "platform/system_info.h"

namespace kivro {

using MemoryStatusQuery = std::function<bool(platform::MemoryStatus* status)>;

class MemoryInfo {
 public:
  MemoryInfo();  // this machine
  explicit MemoryInfo(const MemoryStatusQuery& query);

  // Megabytes rounded to the nearest multiple of 16, halves up (511 -> 512,
  // 1015 -> 1008); 0 when the status cannot be read.
  int32_t total() const { return total_; }
  int32_t available() const { return available_; }

 private:
  int32_t total_ = 0;
  int32_t available_ = 0;
};

}  // namespace kivro
