#include "patch/pul_patch_info.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "patch/file_byte_sum.h"
#include "patch/patch_info_test_support.h"
#include "patch/vrel_apply_info.h"
#include "platform/filetime.h"
#include "platform/thread.h"
#include "update/last_error.h"

namespace kivro::patch_test {
namespace {

const int64_t kListTime = platform::CalendarToSeconds({2012, 1, 2, 3, 4, 0});
constexpr char kListDate[] = "20120102-030400";

TEST(CompareVersionsTest, ComparesNumericPartsInOrder) {
  EXPECT_EQ(CompareVersions("1.0.3", "1.0.4"), 1);
  EXPECT_EQ(CompareVersions("1.0.4", "1.0.3"), -1);
  EXPECT_EQ(CompareVersions("1.0.4", "1.0.4"), 0);
  EXPECT_EQ(CompareVersions("1.9.0", "1.10.0"), 1);
  EXPECT_EQ(CompareVersions("2.0.0", "1.99.99"), -1);
}

TEST(CompareVersionsTest, MissingPartsCountAsZero) {
  EXPECT_EQ(CompareVersions("1.2", "1.2.0"), 0);
  EXPECT_EQ(CompareVersions("1", "1.0.0"), 0);
  EXPECT_EQ(CompareVersions("", "0.0.0"), 0);
  EXPECT_EQ(CompareVersions("1.2", "1.2.1"), 1);
  EXPECT_EQ(CompareVersions(nullptr, "0.0.1"), 1);
}

class PulPatchInfoTest : public PatchInfoTest<CPulPatchInfo> {
 protected:
  PulPatchInfoTest() : PatchInfoTest("http://dl.test/patch", "1.0.3", "list.pul") {}
};

TEST_F(PulPatchInfoTest, QueuesVersionsAfterTheInstalledUpToTheNewest) {
  ReadList(
      "[HEADER]\nVERSION 1.0.5\nDIRECTORY patch\n[LIST_PATCH]\n"
      "patch_1.0.3.zip\t1\npatch_1.0.4.zip\t1\npatch_1.0.5.zip\t1\npatch_1.0.6.zip\t1\n");
  EXPECT_STREQ(info_.GetVersionText(), "1.0.5");
  ASSERT_EQ(info_.BuildDownloadList(), 0);
  ASSERT_EQ(list_.GetCount(), 2);
  EXPECT_EQ(std::string(list_.GetAt(0)->local_path), base_ + "\\patch\\patch_1.0.4.zip");
  EXPECT_STREQ(list_.GetAt(0)->url, "http://dl.test/patch/patch_1.0.4.zip");
  EXPECT_EQ(list_.GetAt(0)->size, 0);
  auto* record = dynamic_cast<CVrelApplyInfo*>(list_.GetAt(0)->apply_record);
  ASSERT_NE(record, nullptr);
  EXPECT_EQ(record->apply_kind, kApplyUnpackArchive);
  EXPECT_EQ(std::string(record->destination_folder), base_);
  EXPECT_EQ(std::string(record->source_path), base_ + "\\patch\\patch_1.0.4.zip");
  EXPECT_STREQ(list_.GetAt(1)->url, "http://dl.test/patch/patch_1.0.5.zip");
}

TEST_F(PulPatchInfoTest, SkipsShortNamesAndArchivesMarkedForRemoval) {
  ReadList(
      "VERSION 2.0.0\nDIRECTORY\n[LIST_PATCH]\np_1.zip\t1\npatch_1.5.0.zip\t0\n"
      "patch_1.6.0.zip\t1\n");
  ASSERT_EQ(info_.BuildDownloadList(), 0);
  ASSERT_EQ(list_.GetCount(), 1);
  // Without an archive folder the archive lies in the install folder.
  EXPECT_EQ(std::string(list_.GetAt(0)->local_path), base_ + "\\patch_1.6.0.zip");
}

TEST_F(PulPatchInfoTest, UninstallDeletesArchivesMarkedForRemoval) {
  WriteFile(install_ + "/patch/patch_1.0.1.zip", "old");
  WriteFile(install_ + "/patch/patch_1.0.2.zip", "kept");
  ReadList(
      "VERSION 1.0.5\nDIRECTORY patch\n[LIST_PATCH]\npatch_1.0.1.zip\t0\npatch_1.0.2.zip\t1\n");
  info_.Uninstall();
  EXPECT_FALSE(Exists(install_ + "/patch/patch_1.0.1.zip"));
  EXPECT_TRUE(Exists(install_ + "/patch/patch_1.0.2.zip"));
}

TEST_F(PulPatchInfoTest, NamesLeadingOutsideAreRefused) {
  ReadList("VERSION 1.0.5\nDIRECTORY ..\\..\n[LIST_PATCH]\npatch_1.0.4.zip\t1\n");
  EXPECT_EQ(info_.BuildDownloadList(), kPatchListUnsafeName);
  // Six characters of prefix, the version, four of extension: queued, and
  // refused for its climbing prefix.
  ReadList("VERSION 1.0.5\nDIRECTORY patch\n[LIST_PATCH]\n../../1.0.4.zip\t1\n");
  EXPECT_EQ(info_.BuildDownloadList(), kPatchListUnsafeName);
  WriteFile(dir_ + "/patch_1.0.1.zip", "outside");
  ReadList("VERSION 1.0.5\nDIRECTORY ..\n[LIST_PATCH]\npatch_1.0.1.zip\t0\n");
  info_.Uninstall();
  EXPECT_TRUE(Exists(dir_ + "/patch_1.0.1.zip"));
  EXPECT_EQ(list_.GetCount(), 0);
}

TEST_F(PulPatchInfoTest, LaterPatchSectionOverridesAFile) {
  ReadList(std::string("VERSION 1.0.5\nDIRECTORY patch\n[PATCH_patch_1.0.4.zip]\n/data\n"
                       "a.txt\t1\t1\t") +
           kListDate +
           "\tfirst\n[PATCH_patch_1.0.5.zip]\n/data\n"
           "a.txt\t2\t2\t" +
           kListDate + "\tsecond\n/\nb.txt\t3\t3\t" + kListDate + "\n");
  ASSERT_EQ(info_.files.size(), 2u);
  EXPECT_STREQ(info_.files[0]->note, "second");
  EXPECT_EQ(info_.files[0]->size, 2u);
  EXPECT_STREQ(info_.files[1]->note, "");
  EXPECT_EQ(info_.current_patch, "patch_1.0.5.zip");
}

TEST_F(PulPatchInfoTest, VerifyKeepsAMismatchPerFailingFile) {
  WriteFile(install_ + "/root.txt", "12345", platform::LocalSecondsToUtc(kListTime + 10));
  WriteFile(install_ + "/data/size.txt", "123456", platform::LocalSecondsToUtc(kListTime));
  WriteFile(install_ + "/data/time.txt", "12345", platform::LocalSecondsToUtc(kListTime + 120));
  uint32_t sum = FileByteSum(Win(install_ + "/root.txt").c_str());
  std::string s = std::to_string(sum);
  ReadList("VERSION 1.0.5\nDIRECTORY patch\n[PATCH_patch_1.0.5.zip]\n/\nroot.txt\t" + s + "\t5\t" +
           kListDate + "\tok\n/data\nsize.txt\t" + s + "\t5\t" + kListDate + "\tsz\ntime.txt\t" +
           s + "\t5\t" + kListDate + "\ttm\nmissing.txt\t1\t1\t" + kListDate + "\tgone\n");
  SetLastErrorInfo(0, 0, nullptr);
  EXPECT_EQ(info_.Verify(), kInstalledFilesMismatch);
  EXPECT_EQ(LastErrorCode(), kInstalledFilesMismatch);
  ASSERT_EQ(info_.GetMismatchCount(), 3);
  char path[kTextSize], note[kTextSize];
  int32_t value = 0;
  info_.GetMismatch(0, path, &value, note);
  EXPECT_EQ(std::string(path), base_ + "\\data\\size.txt");
  EXPECT_STREQ(note, "sz");
  EXPECT_EQ(value, 0x010 | 0x100);  // the sum of six bytes differs too
  info_.GetMismatch(1, path, &value, note);
  EXPECT_EQ(value, 0x001);
  info_.GetMismatch(2, path, &value, note);
  EXPECT_EQ(value, 0);
  EXPECT_STREQ(note, "gone");
  info_.GetMismatch(3, path, &value, note);
  EXPECT_EQ(value, -1);
  EXPECT_STREQ(path, "");
  EXPECT_STREQ(note, "");
}

TEST_F(PulPatchInfoTest, VerifyWithoutFileRecordsKeepsEarlierMismatches) {
  ReadList(std::string("VERSION 1\nDIRECTORY p\n[PATCH_patch_1.0.5.zip]\n/\nmissing.txt\t1\t1\t") +
           kListDate + "\tn\n");
  EXPECT_EQ(info_.Verify(), kInstalledFilesMismatch);
  ReadList("VERSION 1\n");
  EXPECT_EQ(info_.Verify(), 0);
  EXPECT_EQ(info_.GetMismatchCount(), 1);
}

TEST_F(PulPatchInfoTest, UnreadableListGivesCode2) {
  EXPECT_EQ(info_.ReadList(Win(dir_ + "/none.pul").c_str()), kPatchListUnreadable);
  EXPECT_EQ(LastErrorCode(), kPatchListUnreadable);
}

}  // namespace
}  // namespace kivro::patch_test
