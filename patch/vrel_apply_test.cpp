#include "patch/vrel_apply.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "patch/patch_info_test_support.h"
#include "patch/vrel_apply_info.h"
#include "platform/file_mode.h"
#include "platform/filetime.h"
#include "update/last_error.h"

namespace kivro::patch_test {
namespace {

std::vector<std::string> g_files;
int32_t g_stop = 0;
void OnFile(const char* text) { g_files.push_back(text); }
int32_t Stop() { return g_stop; }

const int64_t kListTime = platform::CalendarToSeconds({2011, 5, 6, 7, 8, 0});

class VrelApplyTest : public PatchTest {
 protected:
  void SetUp() override {
    PatchTest::SetUp();
    g_files.clear();
    g_stop = 0;
    install_ = dir_ + "/install";
    work_ = install_ + "/__npk_entity";
    std::filesystem::create_directories(work_);
    apply_.SetCancelCallback(Stop);
    apply_.SetFileCallback(OnFile);
    apply_.SetWorkFolder(Win(work_).c_str());
    package_ = install_ + "/data/sound.npk";
    MakePackage(package_, {{"old.wav", "old entity content", 0}});
  }
  // The package a test left open is closed before its folder goes: Windows
  // deletes no open file.
  void TearDown() override {
    apply_.Finish();
    PatchTest::TearDown();
  }
  // A kind-2 record for `name` in the package, its archive staged in the
  // work folder holding `content`.
  CVrelApplyInfo EntityRecord(const std::string& name, const std::string& content, uint32_t flags,
                              const std::string& package) {
    std::string archive = work_ + "/" + name + ".zip";
    MakeZip(archive, {{name, content}});
    CVrelApplyInfo r;
    r.apply_kind = kApplyUnpackEntity;
    CopyText(r.source_path, Win(archive).c_str());
    CopyText(r.destination_folder, Win(work_).c_str());
    CopyText(r.package_path, Win(package).c_str());
    CopyText(r.entity_name, name.c_str());
    r.entity_info.flags = flags;
    r.entity_info.unpacked_size = static_cast<uint32_t>(content.size());
    r.size = static_cast<uint32_t>(content.size());
    platform::FileTime t = platform::UnixToFileTime(1600000000);
    r.entity_info.time_low = t.low;
    r.entity_info.time_high = t.high;
    r.package_time = kListTime;
    return r;
  }
  int SavesOf(const std::string& package) {
    int n = 0;
    for (const std::string& f : g_files) n += f == Win(package);
    return n;
  }

  std::string install_, work_, package_;
  CVrelApply apply_;
};

TEST_F(VrelApplyTest, UnpacksAFileDeletesTheArchiveAndStampsTheListTime) {
  std::string archive = install_ + "/bin/run.sh.zip";
  MakeZip(archive, {{"run.sh", "#!/bin/sh\necho hi\n", 0755}});
  CVrelApplyInfo r;
  r.apply_kind = kApplyUnpackFile;
  CopyText(r.source_path, Win(archive).c_str());
  CopyText(r.destination_folder, Win(install_ + "/bin").c_str());
  r.time = kListTime;
  r.size = 18;
  ASSERT_EQ(apply_.Apply(&r), 0);
  EXPECT_FALSE(Exists(archive));
  EXPECT_EQ(ReadFile(install_ + "/bin/run.sh"), "#!/bin/sh\necho hi\n");
  // The zip's execute bit survives where the file system keeps such bits.
  EXPECT_EQ(IsExecutable(install_ + "/bin/run.sh"), platform::KeepsExecuteBits());
  EXPECT_EQ(WriteTime(install_ + "/bin/run.sh"), platform::LocalSecondsToUtc(kListTime));
}

TEST_F(VrelApplyTest, FailedUnpackKeepsTheArchiveAndRecordsTheCode) {
  std::string archive = install_ + "/a.txt.zip";
  WriteFile(archive, "not a zip");
  CVrelApplyInfo r;
  r.apply_kind = kApplyUnpackFile;
  CopyText(r.source_path, Win(archive).c_str());
  CopyText(r.destination_folder, Win(install_).c_str());
  SetLastErrorInfo(0, 0, nullptr);
  EXPECT_EQ(apply_.Apply(&r), kUnzCannotOpen);
  EXPECT_EQ(LastErrorCode(), kUnzCannotOpen);
  EXPECT_TRUE(Exists(archive));
}

// A hostile download server: the archive is the only thing it controls, so
// what it holds must match what the list names. Each of these installed the
// wrong file and reported success (or wrote without bound) before the fix.
class HostileArchiveTest : public VrelApplyTest {
 protected:
  CVrelApplyInfo FileRecord(const std::string& archive, uint32_t listed_size) {
    CVrelApplyInfo r;
    r.apply_kind = kApplyUnpackFile;
    CopyText(r.source_path, Win(archive).c_str());
    CopyText(r.destination_folder, Win(install_).c_str());
    r.time = kListTime;
    r.size = listed_size;
    return r;
  }
};

TEST_F(HostileArchiveTest, ArchiveWithoutTheNamedFileFailsAndWritesNothing) {
  std::string archive = install_ + "/readme.txt.zip";
  MakeZip(archive, {{"other.txt", "not the file the list names"}});
  CVrelApplyInfo r = FileRecord(archive, 27);
  SetLastErrorInfo(0, 0, nullptr);
  EXPECT_EQ(apply_.Apply(&r), kUnzNamedFileMissing);
  EXPECT_EQ(LastErrorCode(), kUnzNamedFileMissing);
  EXPECT_FALSE(Exists(install_ + "/other.txt"));
  EXPECT_FALSE(Exists(install_ + "/readme.txt"));
  EXPECT_TRUE(Exists(archive));  // a failed unpack keeps the archive
}

// Debian's minizip refuses an archive without entries when it opens it
// (71); a reader that opens one gets 73 from the walk. Either way the item
// fails and nothing is installed.
TEST_F(HostileArchiveTest, ArchiveWithoutEntriesFails) {
  std::string archive = install_ + "/readme.txt.zip";
  MakeZip(archive, {});
  CVrelApplyInfo r = FileRecord(archive, 0);
  int32_t code = apply_.Apply(&r);
  EXPECT_TRUE(code == kUnzCannotOpen || code == kUnzNoEntryInfo) << code;
  EXPECT_FALSE(Exists(install_ + "/readme.txt"));
}

// An archive holding only a folder has entries but not the file.
TEST_F(HostileArchiveTest, ArchiveWithOnlyAFolderFails) {
  std::string archive = install_ + "/readme.txt.zip";
  MakeZip(archive, {{"readme.txt/", ""}});
  CVrelApplyInfo r = FileRecord(archive, 0);
  EXPECT_EQ(apply_.Apply(&r), kUnzNamedFileMissing);
  EXPECT_FALSE(Exists(install_ + "/readme.txt"));
}

TEST_F(HostileArchiveTest, NamedFileLargerThanListedIsRefusedBeforeWriting) {
  // 4 MiB of zeros pack into a few kilobytes; the list says 4 bytes.
  std::string archive = install_ + "/tiny.txt.zip";
  MakeZip(archive, {{"tiny.txt", std::string(4 << 20, '\0')}});
  WriteFile(install_ + "/tiny.txt", "old!");
  CVrelApplyInfo r = FileRecord(archive, 4);
  EXPECT_EQ(apply_.Apply(&r), kUnzEntryTooLarge);
  EXPECT_EQ(ReadFile(install_ + "/tiny.txt"), "old!");
  EXPECT_FALSE(Exists(install_ + "/tiny.txt.kvpart"));
}

TEST_F(HostileArchiveTest, NamedFileIsFoundWithoutRegardToCaseAmongOtherEntries) {
  std::string archive = install_ + "/Readme.TXT.zip";
  MakeZip(archive, {{"extra/note.txt", "x"}, {"README.txt", "hello"}});
  CVrelApplyInfo r = FileRecord(archive, 5);
  EXPECT_EQ(apply_.Apply(&r), 0);
  EXPECT_EQ(ReadFile(install_ + "/README.txt"), "hello");
}

TEST_F(VrelApplyTest, ConsecutiveEntitiesOfOnePackageOpenAndSaveItOnce) {
  CVrelApplyInfo a = EntityRecord("a.wav", std::string(500, 'a'), NPK_FLAG_COMPRESSED, package_);
  CVrelApplyInfo b = EntityRecord("old.wav", "replaced content", NPK_FLAG_ENCIPHERED, package_);
  ASSERT_EQ(apply_.Apply(&a), 0);
  ASSERT_EQ(apply_.Apply(&b), 0);
  EXPECT_EQ(SavesOf(package_), 0);  // nothing saved yet
  ASSERT_EQ(apply_.Finish(), 0);
  EXPECT_EQ(SavesOf(package_), 1);
  PackageView v = ReadPackage(package_);
  ASSERT_TRUE(v.opened);
  EXPECT_EQ(v.names.size(), 2u);
  EXPECT_TRUE(v.Content("a.wav") == std::string(500, 'a'));
  EXPECT_EQ(v.Flags("a.wav"), NPK_FLAG_COMPRESSED);
  EXPECT_EQ(v.Content("old.wav"), "replaced content");
  EXPECT_EQ(v.Flags("old.wav"), NPK_FLAG_ENCIPHERED);
  EXPECT_EQ(WriteTime(package_), platform::LocalSecondsToUtc(kListTime));
  EXPECT_FALSE(Exists(work_));  // the work folder goes at Finish
}

TEST_F(VrelApplyTest, EntityKeepsTheListedModificationTime) {
  CVrelApplyInfo a = EntityRecord("a.wav", "timed entity", 0, package_);
  ASSERT_EQ(apply_.Apply(&a), 0);
  ASSERT_EQ(apply_.Finish(), 0);
  NpkFile npk;
  ASSERT_EQ(NpkOpen(&npk, Win(package_).c_str()), 0);
  NpkFileEntity* e = NpkFind(&npk, "a.wav");
  ASSERT_NE(e, nullptr);
  EXPECT_EQ(e->info.modified, platform::UnixToFileTime(1600000000));
}

TEST_F(VrelApplyTest, AnotherPackageSavesTheOpenOneFirst) {
  std::string other = install_ + "/data/music.npk";
  MakePackage(other, {{"m.ogg", "music", 0}});
  CVrelApplyInfo a = EntityRecord("a.wav", "for sound", 0, package_);
  CVrelApplyInfo b = EntityRecord("b.ogg", "for music", 0, other);
  ASSERT_EQ(apply_.Apply(&a), 0);
  ASSERT_EQ(apply_.Apply(&b), 0);
  EXPECT_EQ(SavesOf(package_), 1);
  EXPECT_EQ(ReadPackage(package_).Content("a.wav"), "for sound");
  ASSERT_EQ(apply_.Finish(), 0);
  EXPECT_EQ(SavesOf(other), 1);
  EXPECT_EQ(ReadPackage(other).Content("b.ogg"), "for music");
}

TEST_F(VrelApplyTest, StopDuringAnEntityLeavesThePackageUnsavedUntilFinish) {
  CVrelApplyInfo a = EntityRecord("a.wav", "first", 0, package_);
  CVrelApplyInfo b = EntityRecord("b.wav", "second", 0, package_);
  ASSERT_EQ(apply_.Apply(&a), 0);
  g_stop = 1;
  SetLastErrorInfo(0, 0, nullptr);
  EXPECT_EQ(apply_.Apply(&b), 1);
  EXPECT_EQ(LastErrorCode(), 0);  // a stop is not an error
  EXPECT_EQ(ReadPackage(package_).names, std::vector<std::string>{"old.wav"});
  EXPECT_EQ(apply_.Finish(), 0);
  PackageView v = ReadPackage(package_);
  EXPECT_EQ(v.Content("a.wav"), "first");
  EXPECT_EQ(v.Content("b.wav"), "<missing>");
  // A stopped update may be resumed: its staged archives stay.
  EXPECT_TRUE(Exists(work_));
}

TEST_F(VrelApplyTest, FailedSaveDeletesTheTemporaryFileAndGives100) {
  CVrelApplyInfo a = EntityRecord("a.wav", "pending", 0, package_);
  ASSERT_EQ(apply_.Apply(&a), 0);
  std::filesystem::remove(work_ + "/a.wav");  // the pending content is gone
  SetLastErrorInfo(0, 0, nullptr);
  EXPECT_EQ(apply_.Finish(), kApplyPackageFailed);
  EXPECT_EQ(LastErrorCode(), kApplyPackageFailed);
  EXPECT_FALSE(Exists(package_ + "_"));
  EXPECT_EQ(ReadPackage(package_).Content("old.wav"), "old entity content");
}

TEST_F(VrelApplyTest, SetsEntityFlagsAndPackageKey) {
  CVrelApplyInfo flags;
  flags.apply_kind = kApplySetEntityFlags;
  CopyText(flags.package_path, Win(package_).c_str());
  CopyText(flags.entity_name, "OLD.WAV");  // names without regard to case
  flags.entity_info.flags = NPK_FLAG_ENCIPHERED;
  CVrelApplyInfo key;
  key.apply_kind = kApplySetPackageKey;
  CopyText(key.package_path, Win(package_).c_str());
  key.package_key[0] = 11;
  key.package_key[1] = 22;
  key.package_key[2] = 33;
  key.package_key[3] = 44;
  key.package_time = kListTime;
  ASSERT_EQ(apply_.Apply(&flags), 0);
  ASSERT_EQ(apply_.Apply(&key), 0);
  ASSERT_EQ(apply_.Finish(), 0);
  PackageView v = ReadPackage(package_);
  EXPECT_EQ(v.key[0], 11u);
  EXPECT_EQ(v.key[3], 44u);
  EXPECT_EQ(v.Flags("old.wav"), NPK_FLAG_ENCIPHERED);
  EXPECT_EQ(v.Content("old.wav"), "old entity content");
}

TEST_F(VrelApplyTest, FlagsOfAMissingEntityGive101) {
  CVrelApplyInfo flags;
  flags.apply_kind = kApplySetEntityFlags;
  CopyText(flags.package_path, Win(package_).c_str());
  CopyText(flags.entity_name, "nothere.wav");
  EXPECT_EQ(apply_.Apply(&flags), kApplyEntityFailed);
  EXPECT_EQ(LastErrorCode(), kApplyEntityFailed);
}

TEST_F(VrelApplyTest, PackageThatCannotBeOpenedGives100) {
  CVrelApplyInfo key;
  key.apply_kind = kApplySetPackageKey;
  CopyText(key.package_path, Win(install_ + "/missing.npk").c_str());
  EXPECT_EQ(apply_.Apply(&key), kApplyPackageFailed);
}

TEST_F(VrelApplyTest, ArchiveKindUnpacksIntoTheFolderAndKeepsTheArchive) {
  std::string archive = dir_ + "/patch_1.0.1.zip";
  MakeZip(archive, {{"a.txt", "A"}, {"sub/b.txt", "B"}});
  CVrelApplyInfo r;
  r.apply_kind = kApplyUnpackArchive;
  CopyText(r.source_path, Win(archive).c_str());
  CopyText(r.destination_folder, Win(install_).c_str());
  ASSERT_EQ(apply_.Apply(&r), 0);
  EXPECT_EQ(ReadFile(install_ + "/sub/b.txt"), "B");
  EXPECT_TRUE(Exists(archive));
}

TEST_F(VrelApplyTest, NothingKindAndForeignRecords) {
  CVrelApplyInfo nothing;
  nothing.apply_kind = kApplyNothing;
  EXPECT_EQ(apply_.Apply(&nothing), 0);
  CBApplyFileInfo foreign;
  EXPECT_EQ(apply_.Apply(&foreign), kApplyUnknownRecord);
  EXPECT_EQ(apply_.Apply(nullptr), kApplyUnknownRecord);
}

TEST_F(VrelApplyTest, DestructionSavesAnOpenPackage) {
  {
    CVrelApply local;
    CVrelApplyInfo a = EntityRecord("late.wav", "saved at the end", 0, package_);
    ASSERT_EQ(local.Apply(&a), 0);
  }
  EXPECT_EQ(ReadPackage(package_).Content("late.wav"), "saved at the end");
}

}  // namespace
}  // namespace kivro::patch_test
