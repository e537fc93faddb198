#include "patch/npk/npk_codec.h"

#include <gtest/gtest.h>

#include "patch/npk/npk.h"
#include "patch/npk/npk_test_support.h"

namespace kivro {

namespace {

using npk_test::Bytes;

TEST(NpkCipher, MatchesThePublishedTeaVector) {
  // TEA, 32 cycles, zero key and zero block: 41ea3a0a 94baa940.
  const uint32_t zero_key[4] = {0, 0, 0, 0};
  uint8_t block[8] = {};
  NpkEncipher(block, 8, zero_key);
  const uint8_t expected[8] = {0x0a, 0x3a, 0xea, 0x41, 0x40, 0xa9, 0xba, 0x94};
  EXPECT_EQ(std::vector<uint8_t>(block, block + 8), std::vector<uint8_t>(expected, expected + 8));
}

TEST(NpkCipher, RoundTripsAndLeavesTheTailInTheClear) {
  for (size_t n : {0, 1, 7, 8, 9, 15, 16, 100}) {
    std::vector<uint8_t> plain = Bytes(n, 7), data = plain;
    NpkEncipher(data.data(), data.size(), kNpkDefaultKey);
    size_t whole = n / 8 * 8;
    EXPECT_TRUE(std::equal(data.begin() + whole, data.end(), plain.begin() + whole)) << n;
    if (whole > 0) {
      EXPECT_NE(data, plain) << n;
    }
    NpkDecipher(data.data(), data.size(), kNpkDefaultKey);
    EXPECT_EQ(data, plain) << n;
  }
}

TEST(NpkCodec, SmallContentIsNeverCompressed) {
  std::vector<uint8_t> plain = Bytes(100, 3, true), block, back;
  ASSERT_EQ(NpkEncode(plain.data(), plain.size(), NPK_FLAG_ENCIPHERED | NPK_FLAG_COMPRESSED,
                      kNpkDefaultKey, &block),
            NPK_SUCCESS);
  ASSERT_EQ(block.size(), 100u);
  EXPECT_TRUE(std::equal(block.begin() + 96, block.end(), plain.begin() + 96));
  EXPECT_FALSE(std::equal(block.begin(), block.begin() + 96, plain.begin()));
  ASSERT_EQ(NpkDecode(block.data(), block.size(), 100, NPK_FLAG_ENCIPHERED | NPK_FLAG_COMPRESSED,
                      kNpkDefaultKey, &back),
            NPK_SUCCESS);
  EXPECT_EQ(back, plain);
}

TEST(NpkCodec, ContentThatDoesNotShrinkIsStoredWhole) {
  std::vector<uint8_t> plain = Bytes(70000, 11), block, back;
  ASSERT_EQ(NpkEncode(plain.data(), plain.size(), NPK_FLAG_COMPRESSED, kNpkDefaultKey, &block),
            NPK_SUCCESS);
  EXPECT_GT(block.size(), plain.size() + 0) << "random bytes grow under compression";
  ASSERT_EQ(
      NpkDecode(block.data(), block.size(), 70000, NPK_FLAG_COMPRESSED, kNpkDefaultKey, &back),
      NPK_SUCCESS);
  EXPECT_EQ(back, plain);
}

TEST(NpkCodec, DecodeRefusesBlocksThatDoNotMatchTheUnpackedSize) {
  std::vector<uint8_t> plain = Bytes(5000, 5, true), block, back;
  ASSERT_EQ(NpkEncode(plain.data(), plain.size(), NPK_FLAG_COMPRESSED, kNpkDefaultKey, &block),
            NPK_SUCCESS);
  EXPECT_LT(block.size(), plain.size());
  EXPECT_EQ(NpkDecode(block.data(), block.size(), 4999, NPK_FLAG_COMPRESSED, kNpkDefaultKey, &back),
            NPK_ERROR_DECOMPRESS);
  EXPECT_EQ(NpkDecode(block.data(), block.size(), 5001, NPK_FLAG_COMPRESSED, kNpkDefaultKey, &back),
            NPK_ERROR_DECOMPRESS);
  // A claim far beyond what deflate can expand to is refused before allocating.
  EXPECT_EQ(NpkDecode(block.data(), 10, 0xFFFFFFF0u, NPK_FLAG_COMPRESSED, kNpkDefaultKey, &back),
            NPK_ERROR_DECOMPRESS);
  block[block.size() / 2] ^= 0x55;
  EXPECT_EQ(NpkDecode(block.data(), block.size(), 5000, NPK_FLAG_COMPRESSED, kNpkDefaultKey, &back),
            NPK_ERROR_DECOMPRESS);
  EXPECT_EQ(NpkDecode(plain.data(), 10, 11, 0, kNpkDefaultKey, &back), NPK_ERROR_DECOMPRESS);
}

TEST(NpkCodec, EmptyContentCannotBeEncoded) {
  std::vector<uint8_t> block;
  EXPECT_EQ(NpkEncode(nullptr, 0, 0, kNpkDefaultKey, &block), NPK_ERROR_NO_DATA);
}

}  // namespace

}  // namespace kivro
