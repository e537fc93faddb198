// Changes below a trusted folder on every backend: paths that lead outside
// the folder are refused and change nothing; below it every change works as
// its plain path call does, with names found without regard to case. (The
// refusal of links is the backends' own: each has its own kind of link.)
#include "platform/file_inside.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/error.h"
#include "platform/paths.h"
#include "platform/testing/temp_root.h"

namespace platform {
namespace {

class FileInsideContractTest : public TempRootTest {
 protected:
  void SetUp() override {
    TempRootTest::SetUp();
    ASSERT_TRUE(CreateDirectoryChain("C:\\Game"));
    ASSERT_TRUE(CreateDirectoryChain("C:\\Elsewhere"));
    ASSERT_TRUE(WriteWholeFile("C:\\Elsewhere\\victim.txt", "keep", 4));
    ASSERT_TRUE(GetFileInfo("C:\\Elsewhere\\victim.txt", &victim_before_));
  }
  // The file outside is as it was: content, attributes and time, alone.
  void ExpectVictimUntouched() {
    std::string content;
    ASSERT_TRUE(ReadWholeFile("C:\\Elsewhere\\victim.txt", &content));
    EXPECT_EQ(content, "keep");
    FileInfo info;
    ASSERT_TRUE(GetFileInfo("C:\\Elsewhere\\victim.txt", &info));
    EXPECT_EQ(info.attributes, victim_before_.attributes);
    EXPECT_EQ(info.write.Value(), victim_before_.write.Value());
    std::vector<DirEntry> entries;
    ASSERT_TRUE(ListDirectory("C:\\Elsewhere", &entries));
    EXPECT_EQ(entries.size(), 1u);
  }
  FileInfo victim_before_;
};

TEST_F(FileInsideContractTest, PathsOutsideTheFolderAreRefused) {
  const std::string kOut = "C:\\Elsewhere\\victim.txt";
  File f;
  EXPECT_FALSE(f.OpenInside("C:\\Game", kOut, File::kWrite, File::Mode::kOpenExisting));
  EXPECT_EQ(GetLastSystemError(), kErrorAccessDenied);
  // A sibling whose name starts like the folder's is no folder below it.
  EXPECT_FALSE(
      f.OpenInside("C:\\Game", "C:\\GameX\\a.txt", File::kWrite, File::Mode::kCreateAlways));
  EXPECT_EQ(GetLastSystemError(), kErrorAccessDenied);
  EXPECT_FALSE(FileExists("C:\\GameX"));
  // ".." leads out, whatever the spelling.
  EXPECT_FALSE(RemoveFileInside("C:\\Game", "C:\\Game\\..\\Elsewhere\\victim.txt"));
  EXPECT_EQ(GetLastSystemError(), kErrorAccessDenied);
  EXPECT_FALSE(RemoveFileInside("C:\\Game", "C:/Game/sub/../../Elsewhere/victim.txt"));
  FileTime t = FileTime::FromValue(116444736000000000ULL);
  EXPECT_FALSE(SetFileTimesInside("C:\\Game", kOut, &t, &t, &t));
  EXPECT_FALSE(SetAttributesInside("C:\\Game", kOut, kAttrReadOnly));
  ASSERT_TRUE(WriteWholeFile("C:\\Game\\b.txt", "new", 3));
  EXPECT_FALSE(ReplaceInside("C:\\Game", "C:\\Game\\b.txt", kOut));
  EXPECT_FALSE(MoveInside("C:\\Game", kOut, "C:\\Game\\stolen.txt"));
  EXPECT_FALSE(CreateFoldersInside("C:\\Game", "C:\\Elsewhere\\new"));
  EXPECT_FALSE(NoLinkInside("C:\\Game", kOut));
  EXPECT_EQ(GetLastSystemError(), kErrorAccessDenied);
  // The folder itself is no file below it.
  EXPECT_FALSE(RemoveFileInside("C:\\Game", "C:\\Game"));
  EXPECT_EQ(GetLastSystemError(), kErrorAccessDenied);
  EXPECT_TRUE(DirectoryExists("C:\\Game"));
  EXPECT_TRUE(FileExists("C:\\Game\\b.txt"));
  EXPECT_FALSE(FileExists("C:\\Game\\stolen.txt"));
  ExpectVictimUntouched();
}

TEST_F(FileInsideContractTest, ChangesBelowTheFolderWorkWithNamesInAnyCase) {
  ASSERT_TRUE(CreateFoldersInside("c:\\game", "C:\\GAME\\Data\\Maps"));
  EXPECT_TRUE(DirectoryExists("C:\\Game\\Data\\Maps"));
  ASSERT_TRUE(CreateFoldersInside("C:\\Game", "C:\\Game\\data\\maps"));  // there already
  ASSERT_TRUE(CreateFoldersInside("C:\\Game", "C:\\Game"));
  File f;
  ASSERT_TRUE(f.OpenInside("C:\\Game", "C:\\Game\\DATA\\maps\\x.bin.kvpart", File::kWrite,
                           File::Mode::kCreateAlways));
  ASSERT_TRUE(f.Write("abcdef", 6));
  f.Close();
  // Created always: emptied when it exists.
  ASSERT_TRUE(f.OpenInside("C:/game/", "c:/game/data/MAPS/X.BIN.KVPART", File::kWrite,
                           File::Mode::kCreateAlways));
  ASSERT_TRUE(f.Write("abc", 3));
  f.Close();
  EXPECT_FALSE(f.OpenInside("C:\\Game", "C:\\Game\\data\\maps\\x.bin.kvpart", File::kWrite,
                            File::Mode::kCreateNew));
  EXPECT_EQ(GetLastSystemError(), kErrorFileExists);
  ASSERT_TRUE(f.OpenInside("C:\\Game", "C:\\Game\\data\\maps\\x.bin.kvpart", File::kRead,
                           File::Mode::kOpenExisting));
  EXPECT_EQ(f.Size(), 3);
  f.Close();

  FileTime t = FileTime::FromValue(130000000000000000ULL);
  EXPECT_TRUE(
      SetFileTimesInside("C:\\Game", "C:\\Game\\Data\\Maps\\x.bin.kvpart", &t, nullptr, &t));
  EXPECT_TRUE(ReplaceInside("C:\\Game", "C:\\Game\\data\\maps\\x.bin.kvpart",
                            "C:\\Game\\data\\maps\\x.bin"));
  EXPECT_TRUE(SetAttributesInside("C:\\Game", "C:\\Game\\data\\maps\\X.bin", kAttrReadOnly));
  FileInfo info;
  ASSERT_TRUE(GetFileInfo("C:\\Game\\data\\maps\\x.bin", &info));
  EXPECT_EQ(info.size, 3u);
  EXPECT_EQ(info.write.Value(), t.Value());
  EXPECT_TRUE(info.attributes & kAttrReadOnly);
  EXPECT_FALSE(FileExists("C:\\Game\\data\\maps\\x.bin.kvpart"));

  // A move never replaces; a replace does.
  ASSERT_TRUE(WriteWholeFile("C:\\Game\\new.bin", "new", 3));
  EXPECT_FALSE(MoveInside("C:\\Game", "C:\\Game\\new.bin", "C:\\Game\\DATA\\maps\\x.bin"));
  EXPECT_EQ(GetLastSystemError(), kErrorAlreadyExists);
  ASSERT_TRUE(MoveInside("C:\\Game", "C:\\Game\\new.bin", "C:\\Game\\data\\y.bin"));
  EXPECT_FALSE(FileExists("C:\\Game\\new.bin"));
  EXPECT_TRUE(FileExists("C:\\Game\\data\\y.bin"));

  // A Korean name (code page 949) replaced through another case of it.
  const std::string han = "\xC7\xD1";
  ASSERT_TRUE(WriteWholeFile("C:\\Game\\" + han + "a.txt", "old", 3));
  ASSERT_TRUE(WriteWholeFile("C:\\Game\\" + han + "A.txt.kvpart", "new", 3));
  EXPECT_TRUE(
      ReplaceInside("C:\\Game", "C:\\Game\\" + han + "A.txt.kvpart", "C:\\Game\\" + han + "A.txt"));
  std::string replaced;
  EXPECT_TRUE(ReadWholeFile("C:\\Game\\" + han + "a.txt", &replaced));
  EXPECT_EQ(replaced, "new");
  ASSERT_TRUE(RemoveFileInside("C:\\Game", "C:\\Game\\" + han + "a.txt"));

  EXPECT_TRUE(NoLinkInside("C:\\Game", "C:\\Game\\data\\maps\\x.bin"));
  EXPECT_TRUE(NoLinkInside("C:\\Game", "C:\\Game\\data\\missing\\y.bin"));
  // Read-only files are removed as RemoveFile removes them.
  EXPECT_TRUE(RemoveFileInside("C:\\Game", "C:\\GAME\\data\\maps\\x.bin"));
  EXPECT_FALSE(FileExists("C:\\Game\\data\\maps\\x.bin"));
  EXPECT_FALSE(RemoveFileInside("C:\\Game", "C:\\Game\\data\\maps\\x.bin"));
  EXPECT_EQ(GetLastSystemError(), kErrorFileNotFound);
  ExpectVictimUntouched();
}

TEST_F(FileInsideContractTest, FoldersAndFilesInTheWrongPlaceFail) {
  ASSERT_TRUE(CreateFoldersInside("C:\\Game", "C:\\Game\\data"));
  ASSERT_TRUE(WriteWholeFile("C:\\Game\\file", "x", 1));
  File f;
  // A folder at a file's name is no file.
  EXPECT_FALSE(f.OpenInside("C:\\Game", "C:\\Game\\data", File::kWrite, File::Mode::kCreateAlways));
  EXPECT_FALSE(RemoveFileInside("C:\\Game", "C:\\Game\\data"));
  EXPECT_TRUE(DirectoryExists("C:\\Game\\data"));
  // A file where a folder must be, and a missing folder: the path is not there.
  EXPECT_FALSE(
      f.OpenInside("C:\\Game", "C:\\Game\\file\\x.bin", File::kWrite, File::Mode::kCreateAlways));
  EXPECT_EQ(GetLastSystemError(), kErrorPathNotFound);
  EXPECT_FALSE(
      f.OpenInside("C:\\Game", "C:\\Game\\none\\x.bin", File::kWrite, File::Mode::kCreateAlways));
  EXPECT_EQ(GetLastSystemError(), kErrorPathNotFound);
  EXPECT_FALSE(CreateFoldersInside("C:\\Game", "C:\\Game\\file\\deeper"));
  std::string content;
  ASSERT_TRUE(ReadWholeFile("C:\\Game\\file", &content));
  EXPECT_EQ(content, "x");
  // A folder at the target's name is not replaced, nor put aside.
  ASSERT_TRUE(CreateFoldersInside("C:\\Game", "C:\\Game\\busy\\in-the-way"));
  ASSERT_TRUE(WriteWholeFile("C:\\Game\\busy.kvpart", "new", 3));
  EXPECT_FALSE(ReplaceInside("C:\\Game", "C:\\Game\\busy.kvpart", "C:\\Game\\busy"));
  EXPECT_FALSE(ReplacePath("C:\\Game\\busy.kvpart", "C:\\Game\\busy"));
  EXPECT_TRUE(DirectoryExists("C:\\Game\\busy\\in-the-way"));
  EXPECT_TRUE(FileExists("C:\\Game\\busy.kvpart"));
  std::vector<DirEntry> entries;
  ASSERT_TRUE(ListDirectory("C:\\Game", &entries));
  EXPECT_EQ(entries.size(), 4u);  // data, file, busy, busy.kvpart
  // The folder itself must exist.
  EXPECT_FALSE(CreateFoldersInside("C:\\NoGame", "C:\\NoGame\\data"));
  EXPECT_FALSE(FileExists("C:\\NoGame"));
}

}  // namespace
}  // namespace platform
