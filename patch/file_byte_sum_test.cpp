#include "patch/file_byte_sum.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

#include "patch/patch_info_test_support.h"
#include "patch/stamp_file_time.h"
#include "platform/file.h"
#include "platform/filetime.h"

namespace kivro::patch_test {
namespace {

uint32_t SlowSum(const std::string& s) {
  uint32_t sum = 0;
  for (unsigned char c : s) sum += c;
  return sum;
}

std::string RandomBytes(size_t n, uint32_t seed) {
  std::mt19937 g(seed);
  std::string s(n, '\0');
  for (char& c : s) c = static_cast<char>(g());
  return s;
}

TEST(ByteSumTest, MatchesByteByByteSumAtEveryLengthAndAlignment) {
  std::string data = RandomBytes(1000, 1);
  for (size_t start = 0; start < 17; ++start)
    for (size_t length : {0, 1, 15, 16, 63, 64, 65, 127, 128, 500, 983})
      if (start + length <= data.size()) {
        EXPECT_EQ(ByteSum(reinterpret_cast<const uint8_t*>(data.data()) + start, length),
                  SlowSum(data.substr(start, length)))
            << start << "+" << length;
      }
}

TEST(ByteSumTest, WrapsAroundAt32Bits) {
  std::string ff(1000, '\xff');
  EXPECT_EQ(ByteSum(reinterpret_cast<const uint8_t*>(ff.data()), ff.size(), 0xFFFFFF00u),
            0xFFFFFF00u + 255000u);
}

class FileByteSumTest : public PatchTest {};

TEST_F(FileByteSumTest, SumsLargeFilesPieceByPiece) {
  // Many pieces, with a tail that is not a whole block.
  std::string block = RandomBytes(1 << 20, 7);
  std::string data;
  for (int i = 0; i < 64; ++i) data += block;
  data += block.substr(0, 4097);
  WriteFile(dir_ + "/big.bin", data);
  EXPECT_EQ(FileByteSum(Win(dir_ + "/big.bin").c_str()), SlowSum(data));
}

TEST_F(FileByteSumTest, MissingAndEmptyFilesSumToZero) {
  WriteFile(dir_ + "/empty", "");
  EXPECT_EQ(FileByteSum(Win(dir_ + "/empty").c_str()), 0u);
  EXPECT_EQ(FileByteSum(Win(dir_ + "/missing").c_str()), 0u);
  EXPECT_EQ(FileByteSum(nullptr), 0u);
}

TEST_F(FileByteSumTest, FindsFilesWithoutRegardToCase) {
  WriteFile(dir_ + "/Game.EXE", "abc");
  EXPECT_EQ(FileByteSum(Win(dir_ + "/game.exe").c_str()), SlowSum("abc"));
}

class ListTimeTest : public PatchTest {};

TEST_F(ListTimeTest, SameMinuteIgnoresSecondsOnly) {
  int64_t list = platform::CalendarToSeconds({2007, 3, 4, 10, 20, 0});
  auto disk = [](int64_t local) {
    return platform::UnixToFileTime(platform::LocalSecondsToUtc(local));
  };
  EXPECT_TRUE(SameMinute(list, disk(list)));
  EXPECT_TRUE(SameMinute(list, disk(list + 59)));
  EXPECT_TRUE(SameMinute(list + 30, disk(list + 1)));
  EXPECT_FALSE(SameMinute(list, disk(list + 60)));
  EXPECT_FALSE(SameMinute(list, disk(list - 1)));
  EXPECT_FALSE(SameMinute(list, disk(list + 3600)));
}

TEST_F(ListTimeTest, DiskTimesBefore1900CountAsZero) {
  platform::FileTime early =
      platform::UnixToFileTime(platform::CalendarToSeconds({1850, 1, 1, 0, 0, 0}));
  EXPECT_EQ(DiskTimeToListTime(early), 0);
  EXPECT_TRUE(SameMinute(0, early));
}

TEST_F(ListTimeTest, StampFileTimeGivesAllThreeTimesAndClearsReadOnly) {
  std::string f = dir_ + "/a.txt";
  WriteFile(f, "x");
  platform::SetPathAttributes(Win(f), platform::kAttrReadOnly);
  int64_t list = platform::CalendarToSeconds({2010, 6, 7, 8, 9, 10});
  StampFileTime(Win(f).c_str(), list);
  platform::FileInfo info;
  ASSERT_TRUE(platform::GetFileInfo(Win(f), &info));
  EXPECT_EQ(platform::FileTimeToUnix(info.write), platform::LocalSecondsToUtc(list));
  EXPECT_EQ(info.access, info.write);
  EXPECT_EQ(info.creation, info.write);
  EXPECT_EQ(info.attributes & platform::kAttrReadOnly, 0u);
}

}  // namespace
}  // namespace kivro::patch_test
