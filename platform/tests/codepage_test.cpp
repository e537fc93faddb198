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

// Found by the internet fuzz target (an FTP path of a URL): glibc's
// converter takes some unassigned pairs ("\xA2\xE8") whole before it reports
// them, so the POSIX conversion lost them, and at the end of the text
// stepped past it and read on (caught by AddressSanitizer). Every byte
// now comes out as a character or as its Latin-1 character.
TEST(Codepage, UnassignedPairsAreKeptAndNothingPastTheTextIsRead) {
  for (const std::string& in : {std::string("\xFE\0\0\0\xA2\xE8", 6), std::string("\xFE\0\xA2\xE8", 4),
                                std::string("x\xA2\xE8"), std::string("\xA2\xE8"),
                                std::string("\xA2\xE8\xB9\xD9")}) {
    std::string out = Cp949ToUtf8(in);
    // A pair gives two or three bytes, a byte alone one or two: never fewer
    // bytes than came in, never more than three for each.
    EXPECT_GE(out.size(), in.size()) << in.size();
    EXPECT_LE(out.size(), in.size() * 3) << in.size();
  }
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
