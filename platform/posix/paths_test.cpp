#include "platform/paths.h"

#include <gtest/gtest.h>
#include <pwd.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/file.h"
#include "platform/testing/temp_root.h"

namespace platform {
namespace {

using PathsTest = TempRootTest;

TEST_F(PathsTest, DriveLettersMapUnderTheRootAndZIsThePosixRoot) {
  EXPECT_EQ(ToPosixPath("C:\\Zelmora\\a.txt"), root_ + "/drive_c/Zelmora/a.txt");
  EXPECT_EQ(ToPosixPath("e:/x/y"), root_ + "/drive_e/x/y");
  EXPECT_EQ(ToPosixPath("Z:\\tmp\\x"), "/tmp/x");
  EXPECT_EQ(ToPosixPath("Z:\\"), "/");
}

TEST_F(PathsTest, DotSegmentsNeverClimbAboveTheDriveRoot) {
  EXPECT_EQ(ToPosixPath("C:\\a\\.\\b\\..\\c"), root_ + "/drive_c/a/c");
  EXPECT_EQ(ToPosixPath("C:\\..\\..\\etc\\passwd"), root_ + "/drive_c/etc/passwd");
}

TEST_F(PathsTest, ExistingComponentsAreFoundWithoutRegardToCase) {
  ASSERT_TRUE(CreateDirectoryChain("C:\\Zelmora\\KOREAN"));
  ASSERT_TRUE(WriteWholeFile("C:\\Zelmora\\KOREAN\\Game.EXE", "x", 1));
  EXPECT_EQ(ToPosixPath("c:\\zelmora\\korean\\game.exe"), root_ + "/drive_c/Zelmora/KOREAN/Game.EXE");
  // Missing components are kept as written, after the existing ones.
  EXPECT_EQ(ToPosixPath("C:\\ZELMORA\\New\\File"), root_ + "/drive_c/Zelmora/New/File");
}

TEST_F(PathsTest, KoreanNamesAreUtf8OnDiskAndCp949InMemory) {
  const std::string hangul_cp949 = "\xB0\xA1";  // U+AC00 in code page 949
  ASSERT_TRUE(WriteWholeFile("C:\\" + hangul_cp949 + ".txt", "x", 1));
  struct stat st;
  EXPECT_EQ(stat((root_ + "/drive_c/\xEA\xB0\x80.txt").c_str(), &st), 0);
  std::vector<DirEntry> entries;
  ASSERT_TRUE(ListDirectory("C:\\", &entries));
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(entries[0].name, hangul_cp949 + ".txt");
}

// Names on disk that code page 949 cannot hold (written by another
// program) are left out of a listing. Before, each became '?' where it did
// not convert: "x\u00f8.txt"-like names all listed as "x?.txt", two files
// that looked like one to the comparison.
TEST_F(PathsTest, ListingLeavesOutNamesCodePage949CannotHold) {
  ASSERT_TRUE(WriteWholeFile("C:\\plain.txt", "x", 1));
  for (const char* name : {"x\xF0\x9F\x98\x80.txt", "x\xF0\x9F\x98\x83.txt", "bad\xFF.txt"}) {
    FILE* f = fopen((root_ + "/drive_c/" + name).c_str(), "w");
    ASSERT_NE(f, nullptr) << name;
    fclose(f);
  }
  std::vector<DirEntry> entries;
  ASSERT_TRUE(ListDirectory("C:\\", &entries));
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(entries[0].name, "plain.txt");
}

TEST_F(PathsTest, WindowsNamesOfPosixPaths) {
  EXPECT_EQ(ToWindowsPath("/tmp/x"), "Z:\\tmp\\x");
  EXPECT_EQ(ToWindowsPath(root_ + "/drive_c/a/b"), "C:\\a\\b");
  EXPECT_EQ(ToWindowsPath(root_ + "/drive_d"), "D:\\");
  EXPECT_EQ(ToPosixPath(ToWindowsPath("/usr/share/doc")), "/usr/share/doc");
}

TEST_F(PathsTest, WindowsSystemAndTempDirectories) {
  EXPECT_EQ(WindowsDirectory(), "C:\\WINDOWS");
  EXPECT_EQ(SystemDirectory(), "C:\\WINDOWS\\system32");
  setenv("KIVRO_WINDIR", "E:/WINDOWS/", 1);
  EXPECT_EQ(WindowsDirectory(), "E:\\WINDOWS");
  EXPECT_EQ(SystemDirectory(), "E:\\WINDOWS\\system32");
  unsetenv("KIVRO_WINDIR");
}

// Threat: other users of the machine. Files the system puts in a temporary
// folder or under the root must not be reachable (or replaceable through
// planted links) by them.
//
// Before: TempDirectory() was the shared /tmp (TMPDIR), so `<TEMP>` items
// were written where any user could plant a link under the same name.
TEST_F(PathsTest, TempDirectoryIsPrivateInsideTheRoot) {
  setenv("TMPDIR", "/var/tmp", 1);
  std::string temp = TempDirectory();
  unsetenv("TMPDIR");
  EXPECT_EQ(temp, ToWindowsPath(root_ + "/temp") + "\\");
  struct stat st;
  ASSERT_EQ(lstat((root_ + "/temp").c_str(), &st), 0);
  EXPECT_TRUE(S_ISDIR(st.st_mode));
  EXPECT_EQ(st.st_mode & 07777, 0700u);
  EXPECT_EQ(st.st_uid, geteuid());
}

TEST_F(PathsTest, TempDirectoryOpenToOthersStopsTheProgram) {
  ASSERT_EQ(mkdir((root_ + "/temp").c_str(), 0777), 0);
  chmod((root_ + "/temp").c_str(), 0777);
  EXPECT_EXIT(TempDirectory(), ::testing::ExitedWithCode(1), "writable by other users");
  rmdir((root_ + "/temp").c_str());
  // A link planted at the folder's name is refused too.
  ASSERT_EQ(symlink("/tmp", (root_ + "/temp").c_str()), 0);
  EXPECT_EXIT(TempDirectory(), ::testing::ExitedWithCode(1), "is not a folder");
  unlink((root_ + "/temp").c_str());
}

// Before: a missing HOME put the virtual root under the shared /tmp.
TEST(VirtualRootHome, MissingHomeUsesThePasswordDatabase) {
  std::string saved_root = EnvironmentValue("KIVRO_ROOT");
  std::string saved_home = EnvironmentValue("HOME");
  unsetenv("KIVRO_ROOT");
  unsetenv("HOME");
  std::string root = VirtualRoot();
  struct passwd* pw = getpwuid(geteuid());
  if (!saved_home.empty()) setenv("HOME", saved_home.c_str(), 1);
  if (!saved_root.empty()) setenv("KIVRO_ROOT", saved_root.c_str(), 1);
  ASSERT_NE(pw, nullptr);
  EXPECT_EQ(root, std::string(pw->pw_dir) + "/.local/share/kivro");
  EXPECT_NE(root.compare(0, 5, "/tmp/"), 0);
}

TEST_F(PathsTest, RelativePathsFollowTheCurrentDirectory) {
  ASSERT_TRUE(CreateDirectoryChain("C:\\Game"));
  std::string saved = CurrentDirectory();
  ASSERT_TRUE(ChangeCurrentDirectory("C:\\Game"));
  EXPECT_EQ(CurrentDirectory(), "C:\\Game");
  EXPECT_EQ(ToPosixPath("data\\x.bin"), root_ + "/drive_c/Game/data/x.bin");
  EXPECT_EQ(ToPosixPath("\\other"), root_ + "/drive_c/other");
  ASSERT_TRUE(ChangeCurrentDirectory(saved));
}

TEST_F(PathsTest, EnvironmentValuesAndTheProgramName) {
  setenv("KIVRO_TEST_VALUE", "a b", 1);
  EXPECT_EQ(EnvironmentValue("KIVRO_TEST_VALUE"), "a b");
  unsetenv("KIVRO_TEST_VALUE");
  EXPECT_EQ(EnvironmentValue("KIVRO_TEST_VALUE"), "");
  EXPECT_EQ(ProgramFileName(), "platform_posix_test");
}

TEST(DirectoryPart, UsesLastBackslashElseLastSlash) {
  EXPECT_EQ(DirectoryPart("C:\\a\\b/c.txt"), "C:\\a");
  EXPECT_EQ(DirectoryPart("dir/sub/f"), "dir/sub");
  EXPECT_EQ(DirectoryPart("plain"), "");
}

}  // namespace
}  // namespace platform
