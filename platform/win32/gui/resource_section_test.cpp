// Resources from the program's resource section: this test program carries
// bitmaps 201 and 203 (an 8-bit BMP with a short colour table) and icon 202 (two
// images) compiled by windres, which stores them without the files' own
// headers; the toolkit gets them back as the very files.
#include <windows.h>
#include <shellapi.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <vector>

#include "platform/resource.h"
#include "platform/win32/gui/resource_files.h"

namespace platform {
namespace {

std::vector<uint8_t> ReadFile(const char* path) {
  std::vector<uint8_t> bytes;
  if (FILE* f = std::fopen(path, "rb")) {
    uint8_t buffer[4096];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0) bytes.insert(bytes.end(), buffer, buffer + n);
    std::fclose(f);
  }
  return bytes;
}

TEST(ResourceSectionTest, ABitmapComesBackAsItsFile) {
  std::vector<uint8_t> file = ReadFile(KIVRO_TEST_BITMAP_FILE);
  ASSERT_FALSE(file.empty());
  const uint8_t* data = nullptr;
  size_t size = 0;
  ASSERT_TRUE(FindBuiltinResource(ResourceType::kBitmap, 201, &data, &size));
  EXPECT_EQ(std::vector<uint8_t>(data, data + size), file);
  Bitmap b = LoadBitmapResource(201);
  ASSERT_EQ(b.Width(), 5);
  ASSERT_EQ(b.Height(), 3);
  EXPECT_EQ(b.GetPixel(0, 0), Rgb(0, 0, 255));
  EXPECT_EQ(b.GetPixel(3, 0), Rgb(40, 80, 120));
  EXPECT_EQ(b.GetPixel(2, 2), Rgb(0, 255, 0));
}

TEST(ResourceSectionTest, AnIconComesBackAsItsFileWithBothImages) {
  std::vector<uint8_t> file = ReadFile(KIVRO_TEST_ICON_FILE);
  ASSERT_FALSE(file.empty());
  for (int32_t size : {16, 32}) {
    Icon built = LoadIconResource(202, size);
    Icon expected = Icon::Decode(file.data(), file.size(), size);
    ASSERT_EQ(built.Width(), size);
    EXPECT_EQ(built.Pixels(), expected.Pixels()) << size;
  }
}

TEST(ResourceSectionTest, TheIconIsTheProgramFilesIcon) {
  // What Explorer shows for the file: its first icon group.
  wchar_t path[MAX_PATH];
  ASSERT_GT(GetModuleFileNameW(nullptr, path, MAX_PATH), 0u);
  EXPECT_EQ(ExtractIconExW(path, -1, nullptr, nullptr, 0), 1u);
  HICON large = nullptr;
  ASSERT_EQ(ExtractIconExW(path, 0, &large, nullptr, 1), 1u);
  ICONINFO info{};
  ASSERT_TRUE(GetIconInfo(large, &info));
  BITMAP mask{};
  GetObjectW(info.hbmMask, sizeof mask, &mask);
  EXPECT_EQ(mask.bmWidth, 32);  // the group's 32 x 32 image
  if (info.hbmColor) DeleteObject(info.hbmColor);
  DeleteObject(info.hbmMask);
  DestroyIcon(large);
}

TEST(ResourceSectionTest, MissingResourcesAndKindsAreNotFound) {
  const uint8_t* data = nullptr;
  size_t size = 0;
  EXPECT_FALSE(FindBuiltinResource(ResourceType::kBitmap, 999, &data, &size));
  EXPECT_FALSE(FindBuiltinResource(ResourceType::kBitmap, 202, &data, &size));  // an icon's number
  EXPECT_FALSE(FindBuiltinResource(ResourceType::kIcon, 201, &data, &size));
  EXPECT_TRUE(LoadBitmapResource(999).IsNull());
}

TEST(ResourceSectionTest, ARegisteredResourceComesBeforeTheSections) {
  // Bitmap 203 is in the section too (the same file as 201).
  static const std::vector<uint8_t> kept = ReadFile(KIVRO_TEST_ICON_FILE);
  const uint8_t* data = nullptr;
  size_t size = 0;
  ASSERT_TRUE(FindBuiltinResource(ResourceType::kBitmap, 203, &data, &size));
  EXPECT_NE(data, kept.data());
  RegisterResource(ResourceType::kBitmap, 203, kept.data(), kept.size());
  ASSERT_TRUE(FindBuiltinResource(ResourceType::kBitmap, 203, &data, &size));
  EXPECT_EQ(data, kept.data());
  EXPECT_EQ(size, kept.size());
}

TEST(ResourceFilesTest, TheBitmapHeaderPointsPastTheColourTable) {
  std::vector<uint8_t> file = ReadFile(KIVRO_TEST_BITMAP_FILE);
  ASSERT_GT(file.size(), 14u);
  std::vector<uint8_t> rebuilt = BmpFileFromDib(file.data() + 14, file.size() - 14);
  EXPECT_EQ(rebuilt, file);
  // A header that claims more than there is, and too little data.
  std::vector<uint8_t> dib(file.begin() + 14, file.end());
  dib[0] = 200;
  EXPECT_TRUE(BmpFileFromDib(dib.data(), dib.size()).empty());
  EXPECT_TRUE(BmpFileFromDib(file.data() + 14, 8).empty());
  dib[0] = 40;
  dib[32] = 0x00;  // 4096 colours for an 8-bit picture
  dib[33] = 0x10;
  EXPECT_TRUE(BmpFileFromDib(dib.data(), dib.size()).empty());
}

const uint8_t kImage[] = {1, 2, 3, 4, 5};
bool OnlyImageSeven(uint16_t id, const uint8_t** data, size_t* size) {
  if (id != 7) return false;
  *data = kImage;
  *size = sizeof kImage;
  return true;
}

TEST(ResourceFilesTest, AnIconGroupBecomesAnIcoFile) {
  // One 16 x 16 entry naming image 7.
  const uint8_t group[] = {0, 0, 1, 0, 1, 0, 16, 16, 0, 0, 1, 0, 32, 0, 5, 0, 0, 0, 7, 0};
  std::vector<uint8_t> ico = IcoFileFromGroup(group, sizeof group, OnlyImageSeven);
  const std::vector<uint8_t> expected = {0, 0, 1, 0, 1, 0, 16, 16, 0, 0, 1, 0, 32, 0,
                                         5, 0, 0, 0, 22, 0, 0, 0, 1, 2, 3, 4, 5};
  EXPECT_EQ(ico, expected);
  // An image the section lacks, a short directory, a wrong kind.
  uint8_t other[sizeof group];
  std::copy(group, group + sizeof group, other);
  other[18] = 8;
  EXPECT_TRUE(IcoFileFromGroup(other, sizeof other, OnlyImageSeven).empty());
  EXPECT_TRUE(IcoFileFromGroup(group, sizeof group - 1, OnlyImageSeven).empty());
  other[18] = 7;
  other[2] = 2;  // a cursor group
  EXPECT_TRUE(IcoFileFromGroup(other, sizeof other, OnlyImageSeven).empty());
}

}  // namespace
}  // namespace platform
