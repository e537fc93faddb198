#include "sysinfo/memory_info.h"

namespace kivro {

MemoryInfo::MemoryInfo() : MemoryInfo([](platform::MemoryStatus* s) {
  return platform::GetMemoryStatus(s);
}) {}

MemoryInfo::MemoryInfo(const MemoryStatusQuery& query) {
  platform::MemoryStatus status;
  if (!query(&status)) return;
  const uint64_t total_mb = status.total_physical >> 20;
  available_ = int32_t(status.available_physical >> 20);
  // floor(total / 16 + 0.5) * 16 in integers.
  total_ = int32_t((total_mb + 8) / 16 * 16);
}

}  // namespace kivro
