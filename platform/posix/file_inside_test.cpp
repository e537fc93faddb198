// Threat: a hostile local program or user that plants symbolic links in a
// game's folder (at a file's name or at a folder on the way to it) so that
// the next update writes, renames, removes, re-times or changes the mode of
// a file elsewhere. Changes below a folder never pass a link; the folder
// itself may be one.
//
// Before these functions existed every change went through the plain
// path calls (File::Open, ReplacePath, RemoveFile, SetFileTimes,
// SetPathAttributes), which follow links: each case below then changed
// the file outside. (What holds without links, on every backend, is in
// platform/tests/file_inside_test.cpp.)
#include "platform/file_inside.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/error.h"
#include "platform/paths.h"
#include "platform/testing/temp_root.h"

namespace platform {
namespace {

class FileInsideTest : public TempRootTest {
 protected:
  void SetUp() override {
    TempRootTest::SetUp();
    ASSERT_TRUE(CreateDirectoryChain("C:\\Game"));
    ASSERT_TRUE(CreateDirectoryChain("C:\\Elsewhere"));
    ASSERT_TRUE(WriteWholeFile("C:\\Elsewhere\\victim.txt", "keep", 4));
    game_ = root_ + "/drive_c/Game";
    elsewhere_ = root_ + "/drive_c/Elsewhere";
    stat((elsewhere_ + "/victim.txt").c_str(), &victim_before_);
  }
  // The file outside is as it was: content, mode and time.
  void ExpectVictimUntouched() {
    std::string content;
    ASSERT_TRUE(ReadWholeFile("C:\\Elsewhere\\victim.txt", &content));
    EXPECT_EQ(content, "keep");
    struct stat st;
    ASSERT_EQ(stat((elsewhere_ + "/victim.txt").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode, victim_before_.st_mode);
    EXPECT_EQ(st.st_mtim.tv_sec, victim_before_.st_mtim.tv_sec);
    EXPECT_EQ(st.st_mtim.tv_nsec, victim_before_.st_mtim.tv_nsec);
    std::vector<DirEntry> entries;
    ASSERT_TRUE(ListDirectory("C:\\Elsewhere", &entries));
    EXPECT_EQ(entries.size(), 1u);
  }
  std::string game_, elsewhere_;
  struct stat victim_before_ = {};
};

TEST_F(FileInsideTest, LinkAtTheFileNameIsNeverWrittenThrough) {
  ASSERT_EQ(symlink((elsewhere_ + "/victim.txt").c_str(), (game_ + "/a.txt.kvpart").c_str()), 0);
  File f;
  EXPECT_FALSE(f.OpenInside("C:\\Game", "C:\\Game\\a.txt.kvpart", File::kWrite, File::Mode::kCreateAlways));
  EXPECT_EQ(GetLastSystemError(), kErrorStoppedOnSymlink);
  EXPECT_FALSE(f.OpenInside("C:\\Game", "C:\\Game\\a.txt.kvpart", File::kWrite, File::Mode::kOpenAlways));
  FileTime t = FileTime::FromValue(116444736000000000ULL);
  EXPECT_FALSE(SetFileTimesInside("C:\\Game", "C:\\Game\\a.txt.kvpart", &t, &t, &t));
  EXPECT_FALSE(SetAttributesInside("C:\\Game", "C:\\Game\\a.txt.kvpart", kAttrReadOnly));
  EXPECT_EQ(GetLastSystemError(), kErrorStoppedOnSymlink);
  EXPECT_FALSE(RemoveFileInside("C:\\Game", "C:\\Game\\a.txt.kvpart"));
  ExpectVictimUntouched();
  // The link stays: it may be the user's own.
  struct stat st;
  EXPECT_EQ(lstat((game_ + "/a.txt.kvpart").c_str(), &st), 0);
}

TEST_F(FileInsideTest, LinkAtAFolderOnTheWayIsNeverPassed) {
  ASSERT_EQ(symlink(elsewhere_.c_str(), (game_ + "/sub").c_str()), 0);
  File f;
  EXPECT_FALSE(f.OpenInside("C:\\Game", "C:\\Game\\sub\\new.txt", File::kWrite, File::Mode::kCreateAlways));
  EXPECT_EQ(GetLastSystemError(), kErrorStoppedOnSymlink);
  EXPECT_FALSE(RemoveFileInside("C:\\Game", "C:\\Game\\SUB\\victim.txt"));
  EXPECT_EQ(GetLastSystemError(), kErrorStoppedOnSymlink);
  EXPECT_FALSE(SetAttributesInside("C:\\Game", "C:\\Game\\sub\\victim.txt", kAttrReadOnly));
  EXPECT_FALSE(CreateFoldersInside("C:\\Game", "C:\\Game\\sub\\deeper"));
  EXPECT_FALSE(NoLinkInside("C:\\Game", "C:\\Game\\sub\\victim.txt"));
  ASSERT_TRUE(WriteWholeFile("C:\\Game\\b.txt", "new", 3));
  EXPECT_FALSE(ReplaceInside("C:\\Game", "C:\\Game\\b.txt", "C:\\Game\\sub\\victim.txt"));
  ExpectVictimUntouched();
}

TEST_F(FileInsideTest, RenameOntoALinkFailsAndLeavesBoth) {
  ASSERT_TRUE(WriteWholeFile("C:\\Game\\a.txt.kvpart", "new", 3));
  ASSERT_EQ(symlink((elsewhere_ + "/victim.txt").c_str(), (game_ + "/a.txt").c_str()), 0);
  EXPECT_FALSE(ReplaceInside("C:\\Game", "C:\\Game\\a.txt.kvpart", "C:\\Game\\a.txt"));
  EXPECT_EQ(GetLastSystemError(), kErrorStoppedOnSymlink);
  EXPECT_FALSE(MoveInside("C:\\Game", "C:\\Game\\a.txt.kvpart", "C:\\Game\\a.txt"));
  EXPECT_TRUE(FileExists("C:\\Game\\a.txt.kvpart"));
  ExpectVictimUntouched();
}

TEST_F(FileInsideTest, ChangesBelowAFolderThatIsItselfALinkWork) {
  // Games moved to another disk: the install folder is a link.
  ASSERT_EQ(symlink(game_.c_str(), (root_ + "/drive_c/Moved").c_str()), 0);
  ASSERT_TRUE(CreateFoldersInside("C:\\Moved", "C:\\Moved\\data\\maps"));
  File f;
  ASSERT_TRUE(f.OpenInside("C:\\Moved", "C:\\Moved\\DATA\\maps\\x.bin.kvpart", File::kWrite,
                           File::Mode::kCreateAlways));
  ASSERT_TRUE(f.Write("abc", 3));
  f.Close();
  FileTime t = FileTime::FromValue(130000000000000000ULL);
  EXPECT_TRUE(SetFileTimesInside("C:\\Moved", "C:\\Moved\\data\\maps\\x.bin.kvpart", &t, nullptr, &t));
  EXPECT_TRUE(ReplaceInside("C:\\Moved", "C:\\Moved\\data\\maps\\x.bin.kvpart", "C:\\Moved\\data\\maps\\x.bin"));
  EXPECT_TRUE(SetAttributesInside("C:\\Moved", "C:\\Moved\\data\\maps\\x.bin", kAttrReadOnly));
  FileInfo info;
  ASSERT_TRUE(GetFileInfo("C:\\Game\\data\\maps\\x.bin", &info));
  EXPECT_EQ(info.size, 3u);
  EXPECT_EQ(info.write.Value(), t.Value());
  EXPECT_TRUE(info.attributes & kAttrReadOnly);
  EXPECT_TRUE(NoLinkInside("C:\\Moved", "C:\\Moved\\data\\maps\\x.bin"));
  EXPECT_TRUE(NoLinkInside("C:\\Moved", "C:\\Moved\\data\\missing\\y.bin"));
  // Read-only files are removed as RemoveFile removes them.
  EXPECT_TRUE(RemoveFileInside("C:\\Moved", "C:\\Moved\\data\\maps\\x.bin"));
  EXPECT_FALSE(FileExists("C:\\Game\\data\\maps\\x.bin"));
  // A folder at a file's name is no file.
  EXPECT_FALSE(f.OpenInside("C:\\Moved", "C:\\Moved\\data", File::kWrite, File::Mode::kCreateAlways));
  EXPECT_FALSE(RemoveFileInside("C:\\Moved", "C:\\Moved\\data"));
}

}  // namespace
}  // namespace platform
