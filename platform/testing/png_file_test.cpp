#include "platform/testing/png_file.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace platform::testing_support {
namespace {

uint32_t Be32(const std::string& s, size_t at) {
  return uint32_t(uint8_t(s[at])) << 24 | uint32_t(uint8_t(s[at + 1])) << 16 |
         uint32_t(uint8_t(s[at + 2])) << 8 | uint32_t(uint8_t(s[at + 3]));
}

TEST(PngFile, RowsAreStoredUnfilteredAfterAValidHeader) {
  std::string path = (std::filesystem::temp_directory_path() / "kivro_png_file_test.png").string();
  // 2 x 2: red, green / blue, white.
  std::vector<uint8_t> rgb = {255, 0, 0, 0, 255, 0, 0, 0, 255, 255, 255, 255};
  ASSERT_TRUE(WriteRgbPng(2, 2, rgb, path));
  std::ifstream in(path, std::ios::binary);
  std::string png((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::remove(path.c_str());

  ASSERT_GT(png.size(), 8u + 25u);
  EXPECT_EQ(png.substr(0, 8), std::string("\x89PNG\r\n\x1a\n", 8));
  ASSERT_EQ(Be32(png, 8), 13u);
  EXPECT_EQ(png.substr(12, 4), "IHDR");
  EXPECT_EQ(Be32(png, 16), 2u);  // width
  EXPECT_EQ(Be32(png, 20), 2u);  // height
  EXPECT_EQ(png[24], 8);         // bits per sample
  EXPECT_EQ(png[25], 2);         // RGB
  uint32_t crc = crc32(0, reinterpret_cast<const Bytef*>(png.data() + 12), 17);
  EXPECT_EQ(Be32(png, 29), crc);

  size_t idat = 33;
  ASSERT_EQ(png.substr(idat + 4, 4), "IDAT");
  uint32_t length = Be32(png, idat);
  std::vector<uint8_t> raw(2 * (1 + 2 * 3));
  uLongf raw_size = raw.size();
  ASSERT_EQ(uncompress(raw.data(), &raw_size, reinterpret_cast<const Bytef*>(png.data() + idat + 8),
                       length),
            Z_OK);
  EXPECT_EQ(raw, (std::vector<uint8_t>{0, 255, 0, 0, 0, 255, 0, 0, 0, 0, 255, 255, 255, 255}));
  EXPECT_EQ(png.substr(png.size() - 8, 4), "IEND");
}

TEST(PngFile, PixelsThatDoNotMatchTheSizeAreRefused) {
  std::string path = (std::filesystem::temp_directory_path() / "kivro_png_file_refused.png").string();
  EXPECT_FALSE(WriteRgbPng(2, 2, std::vector<uint8_t>(11), path));
  EXPECT_FALSE(WriteRgbPng(0, 1, {}, path));
  EXPECT_FALSE(std::filesystem::exists(path));
}

}  // namespace
}  // namespace platform::testing_support
