#include "patch/verify_checks.h"

#include <gtest/gtest.h>

#include <string>

#include "patch/patch_info_test_support.h"
#include "patch/stamp_file_time.h"
#include "platform/file.h"

namespace kivro::patch_test {
namespace {

constexpr int32_t kAll = VERIFY_TIME | VERIFY_SIZE | VERIFY_CHECKSUM;

class VerifyChecksTest : public PatchTest {
 protected:
  void SetUp() override {
    PatchTest::SetUp();
    WriteFile(dir_ + "/game.exe", "abc");
    path_ = Win(dir_ + "/game.exe");
    ASSERT_TRUE(platform::GetFileInfo(path_, &info_));
    matching_ = {3, DiskTimeToListTime(info_.write), 'a' + 'b' + 'c'};
  }
  int32_t Failed(int32_t flags, const ListedFile& listed, VerifyReport report,
                 uint64_t disk_size) {
    return FailedVerifyChecks(flags, path_, disk_size, info_.write, listed, report);
  }
  int32_t Failed(int32_t flags, const ListedFile& listed, VerifyReport report) {
    return Failed(flags, listed, report, info_.size);
  }

  std::string path_;
  platform::FileInfo info_;
  ListedFile matching_;
};

TEST_F(VerifyChecksTest, AFileAsListedPassesEveryCheck) {
  EXPECT_EQ(Failed(kAll, matching_, VerifyReport::kEveryFailure), 0);
  EXPECT_EQ(Failed(kAll, matching_, VerifyReport::kFirstFailure), 0);
}

TEST_F(VerifyChecksTest, EachComparisonFailsOnItsOwnField) {
  ListedFile size = matching_, time = matching_, sum = matching_;
  size.size = 4;
  time.time += 60;
  sum.checksum += 1;
  EXPECT_EQ(Failed(kAll, size, VerifyReport::kEveryFailure), VERIFY_SIZE);
  EXPECT_EQ(Failed(kAll, time, VerifyReport::kEveryFailure), VERIFY_TIME);
  EXPECT_EQ(Failed(kAll, sum, VerifyReport::kEveryFailure), VERIFY_CHECKSUM);
}

TEST_F(VerifyChecksTest, OnlyTheFlaggedComparisonsCount) {
  ListedFile wrong = {4, matching_.time + 3600, matching_.checksum + 1};
  EXPECT_EQ(Failed(0, wrong, VerifyReport::kEveryFailure), 0);
  EXPECT_EQ(Failed(VERIFY_TIME, wrong, VerifyReport::kEveryFailure), VERIFY_TIME);
  EXPECT_EQ(Failed(VERIFY_SIZE | VERIFY_CHECKSUM, wrong, VerifyReport::kEveryFailure),
            VERIFY_SIZE | VERIFY_CHECKSUM);
}

TEST_F(VerifyChecksTest, TheFirstFailureSparesTheChecksumTheEveryFailureReportNames) {
  ListedFile wrong = matching_;
  wrong.size = 4;
  wrong.checksum += 1;
  EXPECT_EQ(Failed(kAll, wrong, VerifyReport::kFirstFailure), VERIFY_SIZE);
  EXPECT_EQ(Failed(kAll, wrong, VerifyReport::kEveryFailure), VERIFY_SIZE | VERIFY_CHECKSUM);
}

TEST_F(VerifyChecksTest, SizesCompareInTheirLow32Bits) {
  EXPECT_EQ(Failed(VERIFY_SIZE, matching_, VerifyReport::kEveryFailure, (1ull << 32) + 3), 0);
  EXPECT_EQ(Failed(VERIFY_SIZE, matching_, VerifyReport::kEveryFailure, (1ull << 32) + 4),
            VERIFY_SIZE);
}

}  // namespace
}  // namespace kivro::patch_test
