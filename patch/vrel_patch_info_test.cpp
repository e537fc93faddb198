#include "patch/vrel_apply_info.h"
#include "patch/vrel_patch_info.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "patch/file_byte_sum.h"
#include "patch/npk/npk.h"
#include "patch/patch_info_test_support.h"
#include "platform/filetime.h"
#include "platform/paths.h"
#include "platform/thread.h"
#include "update/last_error.h"

namespace kivro::patch_test {
namespace {

constexpr char kUrlBase[] = "http://dl.test/dist/gobanvista/";
// 2007-03-04 10:20:00 local time, as the lists write it.
const int64_t kListTime = platform::CalendarToSeconds({2007, 3, 4, 10, 20, 0});
constexpr char kListDate[] = "20070304-102000";

int64_t Utc(int64_t local) { return platform::LocalSecondsToUtc(local); }

class VrelPatchInfoTest : public PatchInfoTest<CVrelPatchInfo> {
 protected:
  VrelPatchInfoTest() : PatchInfoTest(kUrlBase, "N_SUBDIR", "list.vrl") {}
  CBDownloadFileInfo* Item(int i) { return list_.GetAt(i); }
  CVrelApplyInfo* Record(int i) {
    return dynamic_cast<CVrelApplyInfo*>(list_.GetAt(i)->apply_record);
  }

  // An entity line of [NPK_ENTITY_INSTALL] describing `name` as it is in
  // the package at `package`, with the flags and unpacked size changed when
  // asked.
  std::string EntityLine(const std::string& package, const std::string& name,
                         const std::string& listed, int64_t flags = -1, int64_t size = -1) {
    NpkFile npk;
    EXPECT_EQ(NpkOpen(&npk, Win(package).c_str()), 0);
    NpkFileEntity* e = NpkFind(&npk, name.c_str());
    EXPECT_NE(e, nullptr);
    if (e == nullptr) return "";
    uint32_t unpacked = size >= 0 ? uint32_t(size) : e->info.unpacked_size;
    uint32_t f = flags >= 0 ? uint32_t(flags) : e->info.flags;
    return listed + "\t1\t" + std::to_string(unpacked) + "\t99\t" + kListDate + "\t" +
           std::to_string(e->info.data_offset) + "\t" + std::to_string(e->info.stored_size) + "\t" +
           std::to_string(unpacked) + "\t" + std::to_string(f) + "\t" +
           std::to_string(e->info.modified.high) + "\t" + std::to_string(e->info.modified.low) +
           "\t" + std::to_string(name.size()) + "\n";
  }
  // A [NPK_PACKAGE_INSTALL] line for the package at `package` (its key),
  // claiming `size` and the list time.
  std::string PackageLine(const std::string& package, const std::string& name, uint32_t size,
                          const uint32_t* key = nullptr) {
    PackageView v = ReadPackage(package);
    const uint32_t* k = key ? key : v.key;
    return name + "\t0\t" + std::to_string(size) + "\t500\t" + kListDate +
           "\tNPAK\t18\t0\t0\t36\t" + std::to_string(k[0]) + "\t" + std::to_string(k[1]) + "\t" +
           std::to_string(k[2]) + "\t" + std::to_string(k[3]) + "\n";
  }

};

TEST_F(VrelPatchInfoTest, FlatUrlOfAFileUnderData) {
  ReadList(std::string("[INSTALL]\n/data\nreadme.txt\t1\t5\t77\t") + kListDate + "\n");
  ASSERT_EQ(info_.BuildDownloadList(), 0);
  ASSERT_EQ(list_.GetCount(), 1);
  EXPECT_EQ(info_.GetItemCount(), 1);
  EXPECT_EQ(Item(0)->kind, 1);
  EXPECT_EQ(Item(0)->size, 77);
  EXPECT_STREQ(Item(0)->url, "http://dl.test/dist/gobanvista//readme.txt.zip");
  EXPECT_EQ(std::string(Item(0)->local_path), base_ + "\\data\\readme.txt.zip");
  EXPECT_EQ(Record(0)->apply_kind, kApplyUnpackFile);
  EXPECT_EQ(std::string(Record(0)->source_path), base_ + "\\data\\readme.txt.zip");
  EXPECT_EQ(std::string(Record(0)->destination_folder), base_ + "\\data");
  EXPECT_EQ(Record(0)->size, 5u);
  EXPECT_EQ(Record(0)->time, kListTime);
}

TEST_F(VrelPatchInfoTest, PerDirectoryUrlsFollowTheFolder) {
  EXPECT_EQ(info_.SetSubdirMode("y_subdir"), 1);
  ReadList(std::string("[INSTALL]\n/\ntop.txt\t1\t5\t7\t") + kListDate +
           "\n/data/sub\nin.txt\t1\t5\t7\t" + kListDate + "\n");
  ASSERT_EQ(info_.BuildDownloadList(), 0);
  ASSERT_EQ(list_.GetCount(), 2);
  EXPECT_STREQ(Item(0)->url, "http://dl.test/dist/gobanvista//top.txt.zip");
  EXPECT_STREQ(Item(1)->url, "http://dl.test/dist/gobanvista//data/sub/in.txt.zip");
  EXPECT_EQ(info_.SetSubdirMode("N_SUBDIR"), 0);
}

TEST_F(VrelPatchInfoTest, MissingFileOfSizeZeroIsQueued) {
  ReadList(std::string("[INSTALL]\n/\nempty.txt\t0\t0\t22\t") + kListDate + "\n");
  ASSERT_EQ(info_.BuildDownloadList(), 0);
  EXPECT_EQ(list_.GetCount(), 1);
}

TEST_F(VrelPatchInfoTest, SecondsAreIgnoredButMinutesAndSizesCount) {
  WriteFile(install_ + "/same.txt", "12345", Utc(kListTime + 42));
  WriteFile(install_ + "/later.map", "12345", Utc(kListTime + 60));
  WriteFile(install_ + "/bigger.txt", "123456", Utc(kListTime));
  ReadList(std::string("[INSTALL]\n/\nsame.txt\t1\t5\t7\t") + kListDate + "\nlater.map\t1\t5\t7\t" +
           kListDate + "\nbigger.txt\t1\t5\t7\t" + kListDate + "\n");
  ASSERT_EQ(info_.BuildDownloadList(), 0);
  ASSERT_EQ(list_.GetCount(), 2);
  EXPECT_EQ(std::string(Item(0)->local_path), base_ + "\\later.map.zip");
  EXPECT_EQ(std::string(Item(1)->local_path), base_ + "\\bigger.txt.zip");
}

TEST_F(VrelPatchInfoTest, ExeAndDllWithAnotherByteSumAreQueued) {
  WriteFile(install_ + "/Game.exe", "MZ-game", Utc(kListTime));
  WriteFile(install_ + "/lib.dll", "MZ-lib", Utc(kListTime));
  WriteFile(install_ + "/ok.exe", "MZ-ok", Utc(kListTime));
  uint32_t ok_sum = FileByteSum(Win(install_ + "/ok.exe").c_str());
  ReadList(std::string("[INSTALL]\n/\nGame.exe\t1\t7\t7\t") + kListDate + "\nlib.dll\t1\t6\t7\t" +
           kListDate + "\nok.exe\t" + std::to_string(ok_sum) + "\t5\t7\t" + kListDate + "\n");
  ASSERT_EQ(info_.BuildDownloadList(), 0);
  ASSERT_EQ(list_.GetCount(), 2);
  EXPECT_EQ(std::string(Item(0)->local_path), base_ + "\\Game.exe.zip");
  EXPECT_EQ(std::string(Item(1)->local_path), base_ + "\\lib.dll.zip");
}

TEST_F(VrelPatchInfoTest, PackageWithMatchingSizeAndTimeIsNotOpened) {
  // Not a package at all: opening it would fail and queue the whole file.
  WriteFile(install_ + "/data/sound.npk", std::string(300, 'j'), Utc(kListTime));
  ReadList(std::string("[NPK_PACKAGE_INSTALL]\n/data\nsound.npk\t1\t300\t500\t") + kListDate +
           "\tNPAK\t18\t1\t0\t36\t1\t2\t3\t4\n[NPK_ENTITY_INSTALL]\n/data/sound.npk_npk\n"
           "a.wav\t1\t10\t20\t" +
           kListDate + "\t36\t10\t10\t0\t0\t0\t5\n");
  ASSERT_EQ(info_.BuildDownloadList(), 0);
  EXPECT_EQ(list_.GetCount(), 0);
}

TEST_F(VrelPatchInfoTest, MissingOrUnreadablePackageIsFetchedWholeFromItsFolder) {
  WriteFile(install_ + "/data/broken.npk", "not a package", Utc(kListTime));
  std::string entity = std::string("a.wav\t1\t10\t20\t") + kListDate + "\t36\t10\t10\t0\t0\t0\t5\n";
  ReadList(std::string("[NPK_PACKAGE_INSTALL]\n/data\nsound.npk\t1\t300\t500\t") + kListDate +
           "\tNPAK\t18\t1\t0\t36\t1\t2\t3\t4\nbroken.npk\t1\t300\t600\t" + kListDate +
           "\tNPAK\t18\t1\t0\t36\t1\t2\t3\t4\n[NPK_ENTITY_INSTALL]\n/data/sound.npk_npk\n" +
           entity + "/data/broken.npk_npk\n" + entity);
  ASSERT_EQ(info_.BuildDownloadList(), 0);
  ASSERT_EQ(list_.GetCount(), 2);
  // Packages use per-directory URLs even in flat mode.
  EXPECT_STREQ(Item(0)->url, "http://dl.test/dist/gobanvista//data/sound.npk.zip");
  EXPECT_EQ(Item(0)->size, 500);
  EXPECT_EQ(Record(0)->apply_kind, kApplyUnpackPackage);
  EXPECT_EQ(std::string(Record(0)->destination_folder), base_ + "\\data");
  EXPECT_STREQ(Item(1)->url, "http://dl.test/dist/gobanvista//data/broken.npk.zip");
}

TEST_F(VrelPatchInfoTest, PackageWithoutEntityRecordsIsSkipped) {
  ReadList(std::string("[NPK_PACKAGE_INSTALL]\n/data\nsound.npk\t1\t300\t500\t") + kListDate +
           "\tNPAK\t18\t1\t0\t36\t1\t2\t3\t4\n");
  ASSERT_EQ(info_.BuildDownloadList(), 0);
  EXPECT_EQ(list_.GetCount(), 0);
}

class VrelPackageTest : public VrelPatchInfoTest {
 protected:
  void SetUp() override {
    VrelPatchInfoTest::SetUp();
    package_ = install_ + "/data/sound.npk";
    MakePackage(package_, {{"voice\\a.wav", std::string(400, 'v'), NPK_FLAG_COMPRESSED},
                           {"b.wav", "bbbbbbbbbb", 0}});
    // The package on disk differs from the list in time, so it is opened.
  }
  std::string Head(const uint32_t* key = nullptr) {
    return "[NPK_PACKAGE_INSTALL]\n/data\n" + PackageLine(package_, "sound.npk", 1, key) +
           "[NPK_ENTITY_INSTALL]\n/data/sound.npk_npk\n";
  }
  std::string package_;
};

TEST_F(VrelPackageTest, EqualEntitiesQueueNothing) {
  ReadList(Head() + EntityLine(package_, "voice\\a.wav", "voice^a.wav") +
           EntityLine(package_, "b.wav", "b.wav"));
  ASSERT_EQ(info_.BuildDownloadList(), 0);
  EXPECT_EQ(list_.GetCount(), 0);
}

TEST_F(VrelPackageTest, CaretEntityIsLookedUpWithBackslashAndFetchedUnderItsListedName) {
  ReadList(Head() + EntityLine(package_, "voice\\a.wav", "voice^a.wav", -1, 401) +
           EntityLine(package_, "b.wav", "b.wav"));
  ASSERT_EQ(info_.BuildDownloadList(), 0);
  ASSERT_EQ(list_.GetCount(), 1);
  EXPECT_EQ(Item(0)->kind, 1);
  EXPECT_EQ(Item(0)->size, 99);
  EXPECT_STREQ(Item(0)->url,
               "http://dl.test/dist/gobanvista//__npk_entity/data/sound.npk_npk/voice^a.wav.zip");
  EXPECT_EQ(std::string(Item(0)->local_path),
            base_ + "\\__npk_entity\\data\\sound.npk_npk\\voice^a.wav.zip");
  EXPECT_EQ(Record(0)->apply_kind, kApplyUnpackEntity);
  EXPECT_STREQ(Record(0)->entity_name, "voice\\a.wav");
  EXPECT_EQ(std::string(Record(0)->package_path), base_ + "\\data\\sound.npk");
  EXPECT_EQ(std::string(Record(0)->destination_folder),
            base_ + "\\__npk_entity\\data\\sound.npk_npk");
  EXPECT_EQ(Record(0)->entity_info.unpacked_size, 401u);
  EXPECT_EQ(Record(0)->package_time, kListTime);
  EXPECT_EQ(info_.PackageWorkFolder(), base_ + "\\__npk_entity");
}

TEST_F(VrelPackageTest, NewEntityIsFetched) {
  ReadList(Head() + EntityLine(package_, "b.wav", "b.wav") + "c.wav\t1\t10\t20\t" + kListDate +
           "\t36\t10\t10\t0\t0\t0\t5\n");
  ASSERT_EQ(info_.BuildDownloadList(), 0);
  ASSERT_EQ(list_.GetCount(), 1);
  EXPECT_STREQ(Record(0)->entity_name, "c.wav");
}

TEST_F(VrelPackageTest, FlagsOnlyChangeIsApplyOnly) {
  ReadList(Head() + EntityLine(package_, "voice\\a.wav", "voice^a.wav", NPK_FLAG_ENCIPHERED) +
           EntityLine(package_, "b.wav", "b.wav"));
  ASSERT_EQ(info_.BuildDownloadList(), 0);
  ASSERT_EQ(list_.GetCount(), 1);
  EXPECT_EQ(Item(0)->kind, 2);
  EXPECT_EQ(Item(0)->size, 0);
  EXPECT_STREQ(Item(0)->url, "");
  EXPECT_EQ(Record(0)->apply_kind, kApplySetEntityFlags);
  EXPECT_EQ(Record(0)->entity_info.flags, NPK_FLAG_ENCIPHERED);
  EXPECT_STREQ(Record(0)->entity_name, "voice\\a.wav");
  EXPECT_EQ(list_.GetTotalSize(), 0);
}

TEST_F(VrelPackageTest, KeyChangeIsApplyOnlyAndComesFirst) {
  const uint32_t key[4] = {5, 6, 7, 8};
  ReadList(Head(key) + EntityLine(package_, "voice\\a.wav", "voice^a.wav") +
           EntityLine(package_, "b.wav", "b.wav", 0x1));
  ASSERT_EQ(info_.BuildDownloadList(), 0);
  ASSERT_EQ(list_.GetCount(), 2);
  EXPECT_EQ(Item(0)->kind, 2);
  EXPECT_EQ(Record(0)->apply_kind, kApplySetPackageKey);
  EXPECT_EQ(Record(0)->package_key[3], 8u);
  EXPECT_EQ(Record(1)->apply_kind, kApplySetEntityFlags);
}

TEST_F(VrelPatchInfoTest, NamesLeadingOutsideTheInstallFolderRefuseTheList) {
  for (const std::string& bad :
       {std::string("[INSTALL]\n/../outside\nx.txt\t1\t1\t1\t") + kListDate + "\n",
        std::string("[INSTALL]\n/\n..\\x.txt\t1\t1\t1\t") + kListDate + "\n",
        std::string("[INSTALL]\n/data\nC:x.txt\t1\t1\t1\t") + kListDate + "\n",
        std::string("[UNINSTALL]\n/data/../..\nx.txt\n"),
        std::string("[NPK_PACKAGE_INSTALL]\n/\nsound.npk\t1\t1\t1\t") + kListDate +
            "\tNPAK\t18\t1\t0\t36\t1\t2\t3\t4\n[NPK_ENTITY_INSTALL]\n/"
            "sound.npk_npk\n..^..^x\t1\t1\t1\t" +
            kListDate + "\t36\t1\t1\t0\t0\t0\t1\n../../x\t1\t1\t1\t" + kListDate +
            "\t36\t1\t1\t0\t0\t0\t1\n"}) {
    SCOPED_TRACE(bad);
    list_.Clear();
    ReadList(std::string("[INSTALL]\n/\nfine.txt\t1\t1\t1\t") + kListDate + "\n" + bad);
    SetLastErrorInfo(0, 0, nullptr);
    EXPECT_EQ(info_.BuildDownloadList(), kPatchListUnsafeName);
    EXPECT_EQ(LastErrorCode(), kPatchListUnsafeName);
    EXPECT_EQ(list_.GetCount(), 0);
  }
}

TEST_F(VrelPatchInfoTest, PathsThatDoNotFitRefuseTheList) {
  std::string name(95, 'n');
  std::string deep = "/" + std::string(90, 'd') + "/" + std::string(90, 'e');
  ReadList("[INSTALL]\n/" + std::string(90, 'd') + "\n" + name + "\t1\t1\t1\t" + kListDate + "\n/" +
           std::string(98, 'e') + "\n" + name + "\t1\t1\t1\t" + kListDate + "\n");
  info_.SetUrlBase(("http://dl.test/" + std::string(150, 'u') + "/").c_str());
  EXPECT_EQ(info_.BuildDownloadList(), kPatchListPathTooLong);
  EXPECT_EQ(list_.GetCount(), 0);
}

TEST_F(VrelPatchInfoTest, KeywordFolderFilesLiveThere) {
  ReadList(std::string("[INSTALL]\n<WINDOWS>/fonts\ngoban.ttf\t1\t5\t7\t") + kListDate + "\n");
  ASSERT_EQ(info_.BuildDownloadList(), 0);
  ASSERT_EQ(list_.GetCount(), 1);
  // The Windows folder as the system names it ("C:\\WINDOWS" on POSIX).
  EXPECT_EQ(std::string(Item(0)->local_path), platform::WindowsDirectory() + "\\fonts\\goban.ttf.zip");
  EXPECT_STREQ(Item(0)->url, "http://dl.test/dist/gobanvista//goban.ttf.zip");
}

TEST_F(VrelPatchInfoTest, UnreadableListGivesCode2) {
  SetLastErrorInfo(0, 0, nullptr);
  EXPECT_EQ(info_.ReadList(Win(dir_ + "/missing.vrl").c_str()), kPatchListUnreadable);
  EXPECT_EQ(LastErrorCode(), kPatchListUnreadable);
}

// A hostile list server: a list of millions of records made the check
// hold gigabytes. Past kVrelMaxRecords the list is refused whole; before
// the limit the 250,001-record list was read (and every record became a
// download item of 1.7 KiB).
TEST_F(VrelPatchInfoTest, ListAboveTheRecordLimitIsRefusedWhole) {
  std::string records;
  for (int32_t i = 0; i < kVrelMaxRecords; ++i)
    records += "f" + std::to_string(i) + "\t1\t5\t7\t" + kListDate + "\n";
  std::string path = dir_ + "/list.vrl";
  WriteFile(path, "[INSTALL]\n/\n" + records);
  ASSERT_EQ(info_.ReadList(Win(path).c_str()), 0);
  ASSERT_EQ(info_.install_directories.size(), 1u);
  EXPECT_EQ(info_.install_directories[0]->files.size(), size_t(kVrelMaxRecords));

  WriteFile(path, "[INSTALL]\n/\n" + records + "one_more\t1\t5\t7\t" + kListDate + "\n");
  SetLastErrorInfo(0, 0, nullptr);
  EXPECT_EQ(info_.ReadList(Win(path).c_str()), kPatchListUnreadable);
  EXPECT_EQ(LastErrorCode(), kPatchListUnreadable);
  EXPECT_STREQ(GetLastErrorInfo().text, "more than 250000 records");
  EXPECT_TRUE(info_.install_directories.empty());
}

TEST_F(VrelPatchInfoTest, UninstallDeletesListedFilesButNothingOutside) {
  WriteFile(install_ + "/old.txt", "o");
  WriteFile(install_ + "/data/gone.txt", "g");
  platform::SetPathAttributes(Win(install_ + "/data/gone.txt"), platform::kAttrReadOnly);
  WriteFile(dir_ + "/outside.txt", "keep");
  ReadList("[UNINSTALL]\n/\nold.txt\nmissing.txt\n/data\ngone.txt\n/..\noutside.txt\n");
  info_.Uninstall();
  EXPECT_FALSE(Exists(install_ + "/old.txt"));
  EXPECT_FALSE(Exists(install_ + "/data/gone.txt"));
  EXPECT_TRUE(Exists(dir_ + "/outside.txt"));
}

TEST_F(VrelPatchInfoTest, UninstallRemovesEntitiesAndDeletesWholePackages) {
  std::string pkg = install_ + "/data/sound.npk";
  MakePackage(pkg, {{"keep.wav", "keep-keep", 0}, {"voice\\old.wav", "old-old", 0}});
  WriteFile(install_ + "/data/gone.npk", "whole package to delete");
  ReadList(std::string("[NPK_PACKAGE_INSTALL]\n/data\nsound.npk\t1\t1\t1\t") + kListDate +
           "\tNPAK\t18\t1\t0\t36\t1\t2\t3\t4\n"
           "[NPK_PACKAGE_UNINSTALL]\n/data\ngone.npk\n[NPK_ENTITY_UNINSTALL]\n/data/sound.npk\n"
           "voice^old.wav\nnot-there.wav\n");
  info_.Uninstall();
  PackageView v = ReadPackage(pkg);
  ASSERT_TRUE(v.opened);
  EXPECT_EQ(v.names, std::vector<std::string>{"keep.wav"});
  EXPECT_EQ(v.Content("keep.wav"), "keep-keep");
  EXPECT_FALSE(Exists(install_ + "/data/gone.npk"));
  EXPECT_FALSE(Exists(pkg + "_"));
  // Stamped with the install record's time.
  EXPECT_EQ(WriteTime(pkg), Utc(kListTime));
}

TEST_F(VrelPatchInfoTest, RemovalsAloneStillQueueAnUpdate) {
  ReadList("[UNINSTALL]\n/\nold.txt\n");
  ASSERT_EQ(info_.BuildDownloadList(), 0);
  EXPECT_EQ(list_.GetCount(), 0);  // nothing there to remove
  WriteFile(install_ + "/old.txt", "o");
  ASSERT_EQ(info_.BuildDownloadList(), 0);
  ASSERT_EQ(list_.GetCount(), 1);
  EXPECT_EQ(Item(0)->kind, 2);
  EXPECT_EQ(Record(0)->apply_kind, kApplyNothing);
}

TEST_F(VrelPatchInfoTest, EntityRemovalAloneStillQueuesAnUpdate) {
  MakePackage(install_ + "/data/sound.npk", {{"a.wav", "aaaa", 0}});
  ReadList("[NPK_ENTITY_UNINSTALL]\n/data/sound.npk\nb.wav\n");
  ASSERT_EQ(info_.BuildDownloadList(), 0);
  EXPECT_EQ(list_.GetCount(), 0);
  ReadList("[NPK_ENTITY_UNINSTALL]\n/data/sound.npk\nb.wav\nA.WAV\n");
  ASSERT_EQ(info_.BuildDownloadList(), 0);
  EXPECT_EQ(list_.GetCount(), 1);
}

TEST_F(VrelPatchInfoTest, VerifyWithoutRulesPassesWithoutLooking) {
  ReadList(std::string("[INSTALL]\n/\nGame.exe\t1\t5\t7\t") + kListDate + "\n");
  EXPECT_EQ(info_.Verify(), 0);
}

TEST_F(VrelPatchInfoTest, VerifyAppliesTheFirstMatchingRule) {
  WriteFile(install_ + "/Game.exe", "MZexe", Utc(kListTime));
  WriteFile(install_ + "/x.dll", "MZdll", Utc(kListTime + 30));
  uint32_t sum = FileByteSum(Win(install_ + "/Game.exe").c_str());
  info_.AddVerifyRule("EXE", VERIFY_TIME | VERIFY_SIZE | VERIFY_CHECKSUM);
  info_.AddVerifyRule("dll", VERIFY_TIME | VERIFY_SIZE);
  info_.AddVerifyRule("exe", 0);  // never reached: the first rule wins
  // The dll's listed checksum is wrong, but its rule does not check sums;
  // files without a rule (txt) are not looked at.
  std::string list = std::string("[INSTALL]\n/\nGame.exe\t") + std::to_string(sum) + "\t5\t7\t" +
                     kListDate + "\nx.dll\t1\t5\t7\t" + kListDate + "\nnot-there.txt\t1\t5\t7\t" +
                     kListDate + "\n";
  ReadList(list);
  EXPECT_EQ(info_.Verify(), 0);

  WriteFile(install_ + "/Game.exe", "MZexf", Utc(kListTime));  // same size and time
  SetLastErrorInfo(0, 0, nullptr);
  EXPECT_EQ(info_.Verify(), kInstalledFilesMismatch);
  EXPECT_EQ(LastErrorCode(), kInstalledFilesMismatch);

  std::filesystem::remove(install_ + "/Game.exe");
  EXPECT_EQ(info_.Verify(), kInstalledFilesMismatch);
}

TEST_F(VrelPatchInfoTest, VerifyAdjustsPackageSizesAcrossVersion18) {
  std::string pkg = install_ + "/data/sound.npk";
  MakePackage(pkg, {{"a.wav", "aaaa", 0}}, nullptr, Utc(kListTime));
  uint32_t disk = static_cast<uint32_t>(std::filesystem::file_size(pkg));
  info_.AddVerifyRule("npk", VERIFY_SIZE | VERIFY_TIME);
  auto list = [&](uint32_t size, int version) {
    return std::string("[NPK_PACKAGE_INSTALL]\n/data\nsound.npk\t1\t") + std::to_string(size) +
           "\t1\t" + kListDate + "\tNPAK\t" + std::to_string(version) + "\t1\t0\t20\t0\t0\t0\t0\n";
  };
  ReadList(list(disk - 16, 17));  // an older package without its key
  EXPECT_EQ(info_.Verify(), 0);
  ReadList(list(disk, 17));
  EXPECT_EQ(info_.Verify(), kInstalledFilesMismatch);
  ReadList(list(disk, 18));
  EXPECT_EQ(info_.Verify(), 0);
  WriteFile(pkg, std::string(disk, 'x'), Utc(kListTime));  // not a package any more
  EXPECT_EQ(info_.Verify(), kInstalledFilesMismatch);
}

}  // namespace
}  // namespace kivro::patch_test
