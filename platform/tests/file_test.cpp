#include "platform/file.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/error.h"
#include "platform/paths.h"
#include "platform/testing/temp_root.h"

namespace platform {
namespace {

using FileTest = TempRootTest;

TEST_F(FileTest, OpenModesFollowTheirCreateAndExistRules) {
  File f;
  EXPECT_FALSE(f.Open("C:\\missing.txt", File::kRead, File::Mode::kOpenExisting));
  EXPECT_EQ(GetLastSystemError(), kErrorFileNotFound);
  ASSERT_TRUE(f.Open("C:\\new.txt", File::kWrite, File::Mode::kCreateNew));
  ASSERT_TRUE(f.Write("hello", 5));
  f.Close();
  EXPECT_FALSE(f.Open("C:\\new.txt", File::kWrite, File::Mode::kCreateNew));
  EXPECT_EQ(GetLastSystemError(), kErrorFileExists);
  ASSERT_TRUE(f.Open("C:\\new.txt", File::kRead | File::kWrite, File::Mode::kOpenAlways));
  EXPECT_EQ(f.Size(), 5);
  f.Close();
  ASSERT_TRUE(f.Open("C:\\new.txt", File::kWrite, File::Mode::kCreateAlways));
  EXPECT_EQ(f.Size(), 0);
  f.Close();
  EXPECT_FALSE(f.Open("C:\\nofolder\\x.txt", File::kWrite, File::Mode::kCreateAlways));
  EXPECT_EQ(GetLastSystemError(), kErrorPathNotFound);
}

TEST_F(FileTest, SameFileComparesAsTheFileSystemDoes) {
  ASSERT_TRUE(CreateDirectoryChain("C:\\Game\\Data"));
  ASSERT_TRUE(WriteWholeFile("C:\\Game\\Data\\Map.npk", "x", 1));
  EXPECT_TRUE(SameFile("C:\\Game\\Data\\Map.npk", "c:/game/DATA/map.NPK"));
  EXPECT_TRUE(SameFile("C:\\Game\\Data\\New.npk", "C:\\Game\\Data\\New.npk"));  // not there yet
  EXPECT_FALSE(SameFile("C:\\Game\\Data\\Map.npk", "C:\\Game\\Data\\Map.npk_"));
  EXPECT_FALSE(SameFile("C:\\Game\\Data\\Map.npk", "D:\\Game\\Data\\Map.npk"));
}

TEST_F(FileTest, MoveFailsWhenTheTargetExistsAndReplaceDoesNot) {
  ASSERT_TRUE(WriteWholeFile("C:\\a", "A", 1));
  ASSERT_TRUE(WriteWholeFile("C:\\b", "B", 1));
  EXPECT_FALSE(MovePath("C:\\a", "C:\\b"));
  EXPECT_EQ(GetLastSystemError(), kErrorAlreadyExists);
  std::string content;
  ASSERT_TRUE(ReadWholeFile("C:\\b", &content));
  EXPECT_EQ(content, "B");
  ASSERT_TRUE(MovePath("C:\\a", "C:\\c"));
  EXPECT_FALSE(FileExists("C:\\a"));
  ASSERT_TRUE(ReplacePath("C:\\c", "C:\\b"));
  ASSERT_TRUE(ReadWholeFile("C:\\b", &content));
  EXPECT_EQ(content, "A");
}

TEST_F(FileTest, ReadOnlyAttributeAndDeleteAfterClearingIt) {
  ASSERT_TRUE(WriteWholeFile("C:\\ro.txt", "x", 1));
  EXPECT_EQ(GetPathAttributes("C:\\ro.txt"), kAttrArchive);
  ASSERT_TRUE(SetPathAttributes("C:\\ro.txt", kAttrReadOnly));
  EXPECT_TRUE(GetPathAttributes("C:\\ro.txt") & kAttrReadOnly);
  EXPECT_TRUE(RemoveFile("C:\\ro.txt"));
  EXPECT_EQ(GetPathAttributes("C:\\ro.txt"), kInvalidFileAttributes);
  ASSERT_TRUE(MakeDirectory("C:\\dir"));
  EXPECT_EQ(GetPathAttributes("C:\\dir"), kAttrDirectory);
  EXPECT_FALSE(RemoveFile("C:\\dir"));
}

TEST_F(FileTest, ThreeTimesSetAndReadBack) {
  ASSERT_TRUE(WriteWholeFile("C:\\t.bin", "x", 1));
  FileTime created = UnixToFileTime(1000000000, 1234567);
  FileTime accessed = UnixToFileTime(1100000000, 100);
  FileTime written = UnixToFileTime(1200000000, 5000000);
  ASSERT_TRUE(SetFileTimes("C:\\t.bin", &created, &accessed, &written));
  FileInfo info;
  ASSERT_TRUE(GetFileInfo("C:\\t.bin", &info));
  EXPECT_EQ(info.write, written);
  EXPECT_EQ(info.access, accessed);
  // The creation time is kept where the file system keeps one (NTFS, POSIX
  // user attributes); where it cannot (Wine on a Linux file system), the
  // write time stands in for it.
  EXPECT_TRUE(info.creation == created || info.creation == written);
  // A null time is left as it was.
  FileTime later = UnixToFileTime(1300000000);
  ASSERT_TRUE(SetFileTimes("C:\\t.bin", nullptr, nullptr, &later));
  ASSERT_TRUE(GetFileInfo("C:\\t.bin", &info));
  EXPECT_EQ(info.write, later);
  EXPECT_EQ(info.access, accessed);
}

TEST_F(FileTest, DirectoryChainIsCreatedParentsFirst) {
  EXPECT_TRUE(CreateParentDirectories("C:\\a\\b\\c/d.txt"));
  EXPECT_TRUE(DirectoryExists("C:\\a\\b"));
  EXPECT_FALSE(FileExists("C:\\a\\b\\c"));  // the part after the last '\' is the file
  EXPECT_TRUE(CreateDirectoryChain("C:\\x/y/z"));
  EXPECT_TRUE(DirectoryExists("C:\\x\\y\\z"));
  EXPECT_TRUE(CreateDirectoryChain("C:\\x\\y\\z"));  // existing is fine
  ASSERT_TRUE(WriteWholeFile("C:\\file", "x", 1));
  EXPECT_FALSE(CreateDirectoryChain("C:\\file\\sub"));
  EXPECT_TRUE(RemoveTree("C:\\a"));
  EXPECT_FALSE(FileExists("C:\\a"));
}

TEST_F(FileTest, PositionalReadsAndWrites) {
  File f;
  ASSERT_TRUE(f.Open("C:\\p", File::kRead | File::kWrite, File::Mode::kCreateAlways));
  ASSERT_TRUE(f.WriteAt("abcdef", 6, 0));
  ASSERT_TRUE(f.WriteAt("XY", 2, 2));
  char buf[8] = {};
  EXPECT_EQ(f.ReadAt(buf, 8, 0), 6);
  EXPECT_EQ(std::string(buf, 6), "abXYef");
  ASSERT_TRUE(f.Truncate(3));
  EXPECT_EQ(f.Size(), 3);
  ASSERT_TRUE(f.Seek(1));
  EXPECT_FALSE(f.ReadExact(buf, 5));
  EXPECT_EQ(GetLastSystemError(), kErrorHandleEof);
}

}  // namespace
}  // namespace platform
