#include "platform/file_range.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "platform/error.h"
#include "platform/file.h"
#include "platform/testing/temp_root.h"

namespace platform {
namespace {

using RangeFileTest = TempRootTest;

std::string Random(size_t size, uint32_t seed) {
  std::mt19937 rng(seed);
  std::string bytes(size, '\0');
  for (auto& c : bytes) c = static_cast<char>(rng());
  return bytes;
}

// Writes and copies land where asked whether or not write-back runs ahead,
// including copies larger than one write-back piece and writes that go
// back to an earlier offset (as a header written last does).
TEST_F(RangeFileTest, WritesAndCopiesLandWhereAskedWithOrWithoutEarlyWriteBack) {
  const std::string source_bytes = Random((20u << 20) + 12345, 1);
  ASSERT_TRUE(WriteWholeFile("C:\\source.bin", source_bytes.data(), source_bytes.size()));
  for (bool early : {false, true}) {
    SCOPED_TRACE(early ? "early write-back" : "plain");
    RangeFile source, out;
    ASSERT_TRUE(source.OpenForReading("C:\\source.bin"));
    ASSERT_TRUE(out.Create("C:\\out.bin", true));
    if (early) out.WriteBackEarly();
    ASSERT_TRUE(out.WriteAt("0123456789", 10, 10));
    ASSERT_TRUE(out.CopyFrom(&source, 7, source_bytes.size() - 7, 20));
    ASSERT_TRUE(out.WriteAt("head", 4, 0));
    ASSERT_TRUE(out.WriteAt("tail", 4, 20 + source_bytes.size() - 7));
    ASSERT_TRUE(out.Sync());
    out.Close();
    std::string expected = "head" + std::string(6, '\0') + "0123456789" + source_bytes.substr(7) +
                           "tail";
    std::string content;
    ASSERT_TRUE(ReadWholeFile("C:\\out.bin", &content));
    EXPECT_TRUE(content == expected);  // not EXPECT_EQ: 20 MiB in a failure message
  }
}

TEST_F(RangeFileTest, CopyPastTheSourceEndFails) {
  ASSERT_TRUE(WriteWholeFile("C:\\short.bin", "abc", 3));
  RangeFile source, out;
  ASSERT_TRUE(source.OpenForReading("C:\\short.bin"));
  ASSERT_TRUE(out.Create("C:\\out.bin", true));
  EXPECT_FALSE(out.CopyFrom(&source, 1, 5, 0));
  EXPECT_EQ(GetLastSystemError(), kErrorHandleEof);
}

TEST_F(RangeFileTest, CreateWithoutReplaceRefusesAnExistingFile) {
  ASSERT_TRUE(WriteWholeFile("C:\\there.bin", "x", 1));
  RangeFile out;
  EXPECT_FALSE(out.Create("C:\\there.bin", false));
  EXPECT_EQ(GetLastSystemError(), kErrorFileExists);
  std::string content;
  ASSERT_TRUE(ReadWholeFile("C:\\there.bin", &content));
  EXPECT_EQ(content, "x");
}

// The replaced file's blocks go later, but its name takes the new content
// at once; a reader that still has the old file open keeps reading it.
TEST_F(RangeFileTest, ReplaceReleasingOldLaterSwapsContentAtOnce) {
  ASSERT_TRUE(WriteWholeFile("C:\\pkg", "old content", 11));
  ASSERT_TRUE(WriteWholeFile("C:\\pkg_", "new", 3));
  File reader;
  ASSERT_TRUE(reader.Open("C:\\pkg", File::kRead, File::Mode::kOpenExisting));
  ASSERT_TRUE(ReplaceFileReleasingOldLater("C:\\pkg_", "C:\\pkg"));
  std::string content;
  ASSERT_TRUE(ReadWholeFile("C:\\pkg", &content));
  EXPECT_EQ(content, "new");
  EXPECT_EQ(GetPathAttributes("C:\\pkg_"), kInvalidFileAttributes);
  char old[11];
  ASSERT_TRUE(reader.ReadExact(old, sizeof old));
  EXPECT_EQ(std::string(old, sizeof old), "old content");

  // No file to replace: a plain rename.
  ASSERT_TRUE(WriteWholeFile("C:\\fresh_", "f", 1));
  ASSERT_TRUE(ReplaceFileReleasingOldLater("C:\\fresh_", "C:\\fresh"));
  ASSERT_TRUE(ReadWholeFile("C:\\fresh", &content));
  EXPECT_EQ(content, "f");

  // A missing source fails and leaves the target alone.
  EXPECT_FALSE(ReplaceFileReleasingOldLater("C:\\missing", "C:\\pkg"));
  EXPECT_EQ(GetLastSystemError(), kErrorFileNotFound);
  ASSERT_TRUE(ReadWholeFile("C:\\pkg", &content));
  EXPECT_EQ(content, "new");
}

}  // namespace
}  // namespace platform
