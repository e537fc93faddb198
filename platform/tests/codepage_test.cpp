#include "platform/codepage.h"

#include <gtest/gtest.h>

namespace platform {
namespace {

TEST(Codepage, HangulConvertsBothWays) {
  const std::string cp949 = "\xB9\xD9\xB5\xCF";  // "바둑"
  const std::string utf8 = "\xEB\xB0\x94\xEB\x91\x91";
  EXPECT_EQ(Cp949ToUtf8(cp949), utf8);
  EXPECT_EQ(Utf8ToCp949(utf8), cp949);
  EXPECT_EQ(Cp949ToUtf16(cp949), u"\uBC14\uB451");
  EXPECT_EQ(Utf16ToCp949(u"\uBC14\uB451x"), cp949 + "x");
  EXPECT_EQ(Cp949ToUtf8("plain"), "plain");
}

TEST(Codepage, InvalidBytesAreKeptNotDropped) {
  std::string out = Cp949ToUtf8("a\xFF" "b");
  EXPECT_EQ(out.front(), 'a');
  EXPECT_EQ(out.back(), 'b');
  EXPECT_GT(out.size(), 2u);
  EXPECT_EQ(Utf8ToCp949("a\xF0\x9F\x98\x80" "b"), "a?b");  // no code page 949 form
}

TEST(Codepage, CaseFoldingLeavesDoubleByteTrailBytesAlone) {
  EXPECT_EQ(CompareNoCase("Gobanvista.EXE", "gobanvista.exe"), 0);
  EXPECT_NE(CompareNoCase("abc", "abd"), 0);
  // 0x81 0x41 and 0x81 0x61 are two different characters.
  EXPECT_NE(CompareNoCase("\x81\x41", "\x81\x61"), 0);
  EXPECT_FALSE(EqualsNoCase("\x81\x41", "\x81\x61"));
  EXPECT_TRUE(EqualsNoCase("A\x81\x41", "a\x81\x41"));
  EXPECT_EQ(ToLowerAscii("AB\x81\x41" "C"), "ab\x81\x41" "c");
}

}  // namespace
}  // namespace platform
