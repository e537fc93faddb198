#include "platform/posix/folder_names.h"

#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <chrono>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/file.h"
#include "platform/paths.h"
#include "platform/testing/temp_root.h"

namespace platform {
namespace {

// Case-blind lookups in folders large enough for their names to be cached:
// what the lookup answers must always be what reading the folder would.
class FolderNamesTest : public TempRootTest {
 protected:
  void SetUp() override {
    TempRootTest::SetUp();
    ForgetFolderNames();
    ASSERT_TRUE(CreateDirectoryChain("C:\\Big"));
    dir_ = root_ + "/drive_c/Big";
    for (int i = 0; i < 400; ++i) {
      char name[32];
      std::snprintf(name, sizeof name, "File%03d.Bin", i);
      std::ofstream(dir_ + "/" + name) << i;
    }
  }
  void TearDown() override {
    ForgetFolderNames();
    TempRootTest::TearDown();
  }
  std::string Find(const std::string& name) { return FindNameNoCase(dir_, name); }
  std::string dir_;
};

TEST_F(FolderNamesTest, FollowsOurOwnCreationsRenamesAndRemovals) {
  EXPECT_EQ(Find("FILE007.BIN"), "File007.Bin");  // reads and caches the folder
  EXPECT_EQ(Find("missing.txt"), "");

  File f;
  ASSERT_TRUE(f.Open("C:\\Big\\New.Txt", File::kWrite, File::Mode::kCreateAlways));
  f.Close();
  EXPECT_EQ(Find("NEW.TXT"), "New.Txt");
  ASSERT_TRUE(MovePath("C:\\Big\\New.Txt", "C:\\Big\\Moved.Txt"));
  EXPECT_EQ(Find("new.txt"), "");
  EXPECT_EQ(Find("moved.TXT"), "Moved.Txt");
  ASSERT_TRUE(ReplacePath("C:\\Big\\Moved.Txt", "C:\\Big\\File001.Bin"));
  EXPECT_EQ(Find("moved.txt"), "");
  EXPECT_EQ(Find("file001.bin"), "File001.Bin");
  ASSERT_TRUE(RemoveFile("C:\\Big\\File002.Bin"));
  EXPECT_EQ(Find("FILE002.BIN"), "");
  ASSERT_TRUE(MakeDirectory("C:\\Big\\SubDir"));
  EXPECT_EQ(Find("subdir"), "SubDir");
  ASSERT_TRUE(RemoveEmptyDirectory("C:\\Big\\SubDir"));
  EXPECT_EQ(Find("SUBDIR"), "");
  // Paths resolve through the cache as they would through the disk.
  EXPECT_EQ(ToPosixPath("C:\\BIG\\file003.bin"), dir_ + "/File003.Bin");
  EXPECT_EQ(ToPosixPath("C:\\BIG\\Fresh.bin"), dir_ + "/Fresh.bin");
}

TEST_F(FolderNamesTest, SeesChangesMadeBehindItsBack) {
  EXPECT_EQ(Find("outside.txt"), "");
  std::ofstream(dir_ + "/Outside.TXT") << "x";
  // Another process's change moves the folder's time unless it fell in the
  // same clock tick as the last one; make sure it moved.
  struct timespec times[2] = {{0, UTIME_OMIT}, {12345, 0}};
  ASSERT_EQ(utimensat(AT_FDCWD, dir_.c_str(), times, 0), 0);
  EXPECT_EQ(Find("outside.txt"), "Outside.TXT");
  ASSERT_EQ(std::remove((dir_ + "/Outside.TXT").c_str()), 0);
  times[1].tv_sec = 23456;
  ASSERT_EQ(utimensat(AT_FDCWD, dir_.c_str(), times, 0), 0);
  EXPECT_EQ(Find("OUTSIDE.TXT"), "");
}

TEST_F(FolderNamesTest, AChangeInTheSameClockTickIsSeenWithinASecond) {
  // Our own change makes the folder's time recent.
  File f;
  ASSERT_TRUE(f.Open("C:\\Big\\Ours.txt", File::kWrite, File::Mode::kCreateAlways));
  f.Close();
  EXPECT_EQ(Find("ours.txt"), "Ours.txt");
  struct stat before;
  ASSERT_EQ(stat(dir_.c_str(), &before), 0);
  // Another process adds a name and the folder's time does not move, as
  // when both changes are stamped with the same tick.
  std::ofstream(dir_ + "/Theirs.TXT") << "x";
  struct timespec times[2] = {{0, UTIME_OMIT}, before.st_mtim};
  ASSERT_EQ(utimensat(AT_FDCWD, dir_.c_str(), times, 0), 0);
  std::this_thread::sleep_for(std::chrono::milliseconds(1100));
  EXPECT_EQ(Find("theirs.txt"), "Theirs.TXT");
}

TEST_F(FolderNamesTest, ConcurrentChangesAndLookupsAgreeWithTheDisk) {
  EXPECT_EQ(Find("file000.bin"), "File000.Bin");
  auto worker = [](int id) {
    for (int i = 0; i < 150; ++i) {
      std::string base = "C:\\Big\\T" + std::to_string(id) + "_" + std::to_string(i);
      File f;
      if (!f.Open(base + ".Part", File::kWrite, File::Mode::kCreateAlways)) return;
      f.Close();
      if (!MovePath(base + ".Part", base + ".Done")) return;
      if (i % 3 == 0 && !RemoveFile(base + ".Done")) return;
    }
  };
  std::thread a(worker, 1), b(worker, 2);
  for (int i = 0; i < 300; ++i) Find("t1_" + std::to_string(i % 150) + ".done");
  a.join();
  b.join();
  for (int id = 1; id <= 2; ++id) {
    for (int i = 0; i < 150; ++i) {
      std::string stem = "T" + std::to_string(id) + "_" + std::to_string(i);
      SCOPED_TRACE(stem);
      EXPECT_EQ(Find(stem + ".part"), "");
      EXPECT_EQ(Find(stem + ".DONE"), i % 3 == 0 ? "" : stem + ".Done");
    }
  }
}

// Before: names were folded as code page 949 while on disk they are UTF-8,
// so the last byte of U+D55C (0x9C) passed for a lead byte and the letter
// after it was compared as it stood: "\uD55CA.txt" did not find
// "\uD55Ca.txt" (small folder and cached one alike), and the update made
// a second file where the check saw one.
TEST_F(FolderNamesTest, KoreanNamesFoldTheLetterAfterThem) {
  const std::string han = "\xED\x95\x9C";  // U+D55C in UTF-8
  std::ofstream(dir_ + "/" + han + "a.txt") << "x";
  EXPECT_EQ(Find(han + "A.txt"), han + "a.txt");
  EXPECT_EQ(Find(han + "A.TXT"), han + "a.txt");
  ASSERT_TRUE(CreateDirectoryChain("C:\\Small"));
  std::ofstream(root_ + "/drive_c/Small/" + han + "a.txt") << "x";
  EXPECT_EQ(FindNameNoCase(root_ + "/drive_c/Small", han + "A.txt"), han + "a.txt");
  // Through the Windows view, with the list's code page 949 spelling.
  const std::string han_cp949 = "\xC7\xD1";  // U+D55C in code page 949
  EXPECT_EQ(ToPosixPath("C:\\Small\\" + han_cp949 + "A.TXT"), root_ + "/drive_c/Small/" + han + "a.txt");
}

}  // namespace
}  // namespace platform
