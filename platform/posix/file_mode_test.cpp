// Execute bits of installed files on POSIX, and the refusal to change them
// through a link.
#include "platform/file_mode.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "platform/error.h"
#include "platform/file.h"
#include "platform/testing/links.h"
#include "platform/testing/temp_root.h"

namespace platform {
namespace {

using FileModeTest = TempRootTest;

uint32_t Bits(const std::string& posix) {
  struct stat st;
  return lstat(posix.c_str(), &st) == 0 ? static_cast<uint32_t>(st.st_mode & 07777) : 0xFFFFFFFFu;
}

TEST_F(FileModeTest, AddsOnlyTheExecuteBitsAskedFor) {
  ASSERT_TRUE(WriteWholeFile("C:\\run.sh", "#!/bin/sh\n", 10));
  ASSERT_EQ(chmod((root_ + "/drive_c/run.sh").c_str(), 0640), 0);
  EXPECT_TRUE(AddExecuteBits("C:\\run.sh", 0100644));  // no execute bit: nothing to do
  EXPECT_EQ(Bits(root_ + "/drive_c/run.sh"), 0640u);
  EXPECT_TRUE(AddExecuteBits("C:\\run.sh", 0100751));
  EXPECT_EQ(Bits(root_ + "/drive_c/run.sh"), 0751u);
  uint32_t bits = 0;
  ASSERT_TRUE(GetPermissionBits("C:\\run.sh", &bits));
  EXPECT_EQ(bits, 0751u);
  // A file we may only write still gets its bits.
  ASSERT_EQ(chmod((root_ + "/drive_c/run.sh").c_str(), 0200), 0);
  EXPECT_TRUE(AddExecuteBits("C:\\run.sh", 0100100));
  EXPECT_EQ(Bits(root_ + "/drive_c/run.sh"), 0300u);
  EXPECT_FALSE(AddExecuteBits("C:\\missing.sh", 0755));
  EXPECT_EQ(GetLastSystemError(), kErrorFileNotFound);
}

// Hostile local files: a link planted at an unpacked file's name. Before,
// chmod followed it and made the file it points to executable.
TEST_F(FileModeTest, ALinkAtTheNameIsNotFollowed) {
  ASSERT_TRUE(WriteWholeFile("C:\\victim", "data", 4));
  ASSERT_EQ(chmod((root_ + "/drive_c/victim").c_str(), 0600), 0);
  if (!MakeLink(root_ + "/drive_c/victim", root_ + "/drive_c/run.sh")) GTEST_SKIP() << kNoLinksHere;
  SetLastSystemError(0);
  EXPECT_FALSE(AddExecuteBits("C:\\run.sh", 0100755));
  EXPECT_EQ(GetLastSystemError(), kErrorStoppedOnSymlink);
  EXPECT_EQ(Bits(root_ + "/drive_c/victim"), 0600u);
}

}  // namespace
}  // namespace platform
