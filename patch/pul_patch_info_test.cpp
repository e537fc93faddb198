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

TEST_F(PulPatchInfoTest, OverriddenFilesLeaveNoGapsAndKeepTheOrderOfTheLastSection) {
  std::string list = "VERSION 1.0.5\nDIRECTORY patch\n";
  for (int section = 0; section < 3; ++section) {
    list += "[PATCH_patch_1.0." + std::to_string(section) + ".zip]\n/\n";
    list += "a.txt\t1\t" + std::to_string(section) + "\t" + kListDate + "\n";
    if (section == 1) list += std::string("b.txt\t1\t9\t") + kListDate + "\n";
    list += std::string("c.txt\t1\t") + std::to_string(section) + "\t" + kListDate + "\n";
  }
  ReadList(list);
  ASSERT_EQ(info_.files.size(), 3u);
  EXPECT_STREQ(info_.files[0]->name, "b.txt");
  EXPECT_STREQ(info_.files[1]->name, "a.txt");
  EXPECT_EQ(info_.files[1]->size, 2u);
  EXPECT_STREQ(info_.files[2]->name, "c.txt");
  EXPECT_EQ(info_.files[2]->size, 2u);
  // Text read on without a reset still overrides what came before.
  std::string more = std::string("[PATCH_patch_1.0.9.zip]\n/\nb.txt\t1\t5\t") + kListDate + "\n";
  info_.ReadBuffer(more.data(), more.size());
  ASSERT_EQ(info_.files.size(), 3u);
  EXPECT_STREQ(info_.files[0]->name, "a.txt");
  EXPECT_STREQ(info_.files[2]->name, "b.txt");
  EXPECT_EQ(info_.files[2]->size, 5u);
  // A second read starts from nothing.
  ReadList(std::string("VERSION 1\nDIRECTORY p\n[PATCH_x]\n/\nc.txt\t1\t7\t") + kListDate + "\n");
  ASSERT_EQ(info_.files.size(), 1u);
  EXPECT_EQ(info_.files[0]->size, 7u);
}

// A hostile list may hold millions of records; each kept one costs memory
// and may become a download item. Past kPulMaxRecords (archive entries and
// file records together) the list is refused as a whole. Before the bound a
// 1,000,000-line list was kept whole (about 0.8 GiB of records).
TEST_F(PulPatchInfoTest, ListOfMoreThanTheBoundIsRefusedWhole) {
  auto list_of = [](int32_t entries, int32_t files) {
    std::string text = "VERSION 1.0.5\nDIRECTORY patch\n[LIST_PATCH]\n";
    text.reserve(static_cast<size_t>(entries + files) * 24 + 64);
    for (int32_t i = 0; i < entries; ++i) text += "patch_0.0." + std::to_string(i) + ".zip\t0\n";
    text += "[PATCH_patch_1.0.5.zip]\n/\n";
    for (int32_t i = 0; i < files; ++i) text += "f" + std::to_string(i) + "\t1\t1\n";
    return text;
  };
  // At the bound: read whole.
  WriteFile(dir_ + "/big.pul", list_of(kPulMaxRecords - 10, 10));
  ASSERT_EQ(info_.ReadList(Win(dir_ + "/big.pul").c_str()), 0);
  EXPECT_EQ(info_.entries.size(), size_t(kPulMaxRecords - 10));
  EXPECT_EQ(info_.files.size(), 10u);
  // One record more, counted over both sections: refused, nothing kept.
  WriteFile(dir_ + "/big.pul", list_of(kPulMaxRecords - 10, 11));
  SetLastErrorInfo(0, 0, nullptr);
  EXPECT_EQ(info_.ReadList(Win(dir_ + "/big.pul").c_str()), kPatchListUnreadable);
  EXPECT_EQ(LastErrorCode(), kPatchListUnreadable);
  EXPECT_STREQ(GetLastErrorInfo().text, "more than 250000 records");
  EXPECT_TRUE(info_.entries.empty());
  EXPECT_TRUE(info_.files.empty());
  EXPECT_EQ(info_.BuildDownloadList(), 0);
  EXPECT_EQ(list_.GetCount(), 0);
  // Overridden records count as met: the bound is on what the list holds.
  std::string same = list_of(0, 0);
  for (int32_t i = 0; i <= kPulMaxRecords; ++i) same += "f0\t1\t2\n";
  WriteFile(dir_ + "/big.pul", same);
  EXPECT_EQ(info_.ReadList(Win(dir_ + "/big.pul").c_str()), kPatchListUnreadable);
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
