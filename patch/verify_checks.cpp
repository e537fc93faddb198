#include "patch/verify_checks.h"

#include "patch/file_byte_sum.h"
#include "patch/stamp_file_time.h"

namespace kivro {

int32_t FailedVerifyChecks(int32_t flags, const std::string& path, uint64_t disk_size,
                           platform::FileTime disk_write, const ListedFile& listed,
                           VerifyReport report) {
  int32_t failed = 0;
  if ((flags & VERIFY_SIZE) && static_cast<uint32_t>(disk_size) != listed.size)
    failed |= VERIFY_SIZE;
  if ((flags & VERIFY_TIME) && !SameMinute(listed.time, disk_write)) failed |= VERIFY_TIME;
  bool sum_needed = failed == 0 || report == VerifyReport::kEveryFailure;
  if ((flags & VERIFY_CHECKSUM) && sum_needed && FileByteSum(path.c_str()) != listed.checksum)
    failed |= VERIFY_CHECKSUM;
  return failed;
}

}  // namespace kivro
