#include "pcroom/regex/rexi_search.h"

#include <gtest/gtest.h>

#include <string>

namespace kivro {

namespace {

struct Hit {
  bool found = false;
  size_t offset = 0;  // match start (or where the search stopped)
  size_t length = 0;
  bool at_end = false;
};

Hit FindIn(REXI_Search& rx, const std::string& text) {
  const char* cursor = text.c_str();
  size_t length = 0;
  bool at_end = false;
  Hit h;
  h.found = rx.Find(cursor, length, at_end);
  size_t stop = size_t(cursor - text.c_str());
  h.length = h.found ? length : 0;
  h.offset = h.found ? stop - length : stop;
  h.at_end = at_end;
  return h;
}

Hit Search(const std::string& pattern, const std::string& text) {
  REXI_Search rx;
  CompileResult r = rx.SetPattern(pattern);
  EXPECT_EQ(r.code, 0) << pattern << ": " << r.message;
  return FindIn(rx, text);
}

bool Matches(const std::string& pattern, const std::string& text) {
  return Search(pattern, text).found;
}

CompileResult Compile(const std::string& pattern) {
  REXI_Search rx;
  return rx.SetPattern(pattern);
}

TEST(RexiSearch, AgentPatternTakesAnyByteForTheFullStop) {
  EXPECT_TRUE(Matches("AGENT[0-9]+.BIN", "AGENT40.BIN"));
  EXPECT_TRUE(Matches("AGENT[0-9]+.BIN", "AGENT7XBIN"));
  EXPECT_FALSE(Matches("AGENT[0-9]+.BIN", "AGENT.BIN"));
  Hit h = Search("AGENT[0-9]+.BIN", "C:AGENT123.BIN");
  EXPECT_TRUE(h.found);
  EXPECT_EQ(h.offset, 2u);
  EXPECT_EQ(h.length, 12u);
  EXPECT_TRUE(h.at_end);
}

TEST(RexiSearch, PrefersTheLongestOfTheLeftmostMatches) {
  Hit h = Search("a|ab", "xab");
  EXPECT_TRUE(h.found);
  EXPECT_EQ(h.offset, 1u);
  EXPECT_EQ(h.length, 2u);
  h = Search("ab|abcd|abc", "zabcdx");
  EXPECT_EQ(h.offset, 1u);
  EXPECT_EQ(h.length, 4u);
  EXPECT_FALSE(h.at_end);
  // The longest is kept even when the attempt reads further and fails.
  h = Search("a(bc)*", "abcbd");
  EXPECT_EQ(h.offset, 0u);
  EXPECT_EQ(h.length, 3u);
}

TEST(RexiSearch, BlanksAreSkippedUnlessEscapedOrBracketed) {
  EXPECT_TRUE(Matches("a b", "ab"));
  EXPECT_FALSE(Matches("a b", "a b"));
  EXPECT_TRUE(Matches("a\\ b", "a b"));
  EXPECT_TRUE(Matches("a[ ]b", "a b"));
  EXPECT_FALSE(Matches("a\\ b", "ab"));
  REXI_Search spaced, plain;
  ASSERT_EQ(spaced.SetPattern(" a\tb\n").code, 0);
  ASSERT_EQ(plain.SetPattern("ab").code, 0);
  EXPECT_EQ(spaced.state_count(), plain.state_count());
}

TEST(RexiSearch, BracketRangesWorkInEitherOrder) {
  for (int c = 1; c < 256; ++c) {
    std::string text(1, char(c));
    EXPECT_EQ(Matches("[z-a]", text), Matches("[a-z]", text)) << c;
    EXPECT_EQ(Matches("[z-a]", text), c >= 'a' && c <= 'z') << c;
  }
}

TEST(RexiSearch, ComplementedBracketCoversBytesAbove127) {
  for (int c = 1; c < 256; ++c) {
    EXPECT_EQ(Matches("[^a]", std::string(1, char(c))), c != 'a') << c;
  }
  // A double-byte Korean character is two bytes of such a set.
  Hit h = Search("[^a][^a]", "a\xB9\xE6");
  EXPECT_EQ(h.offset, 1u);
  EXPECT_EQ(h.length, 2u);
}

TEST(RexiSearch, BracketMembersEscapesAndEdgeCharacters) {
  EXPECT_TRUE(Matches("[\\]]", "]"));
  EXPECT_TRUE(Matches("[]a]", "]"));   // ']' first is a member
  EXPECT_TRUE(Matches("[^]a]", "b"));
  EXPECT_FALSE(Matches("[^]a]", "]"));
  EXPECT_TRUE(Matches("[-a]", "-"));
  EXPECT_TRUE(Matches("[\\x41-\\x43]", "B"));
  EXPECT_TRUE(Matches("[\\t]", "\t"));
  // The character after '-' ends the range even when it is ']'.
  EXPECT_EQ(Compile("[a-]").code, 2);
  EXPECT_TRUE(Matches("[a-]]", "_"));  // ']'..'a' holds '_'
}

TEST(RexiSearch, HexAndControlEscapes) {
  EXPECT_TRUE(Matches("\\x4A", "J"));
  EXPECT_TRUE(Matches("\\x4a", "J"));
  EXPECT_FALSE(Matches("\\x4A", "x4A"));
  // Not two hex digits: the letter x, then the rest as ordinary characters.
  EXPECT_TRUE(Matches("\\x4G", "x4G"));
  EXPECT_TRUE(Matches("\\x", "x"));
  EXPECT_TRUE(Matches("\\a\\b\\t\\n\\v\\r", "\a\b\t\n\v\r"));
  EXPECT_TRUE(Matches("a\\.b", "a.b"));
  EXPECT_FALSE(Matches("a\\.b", "axb"));
  EXPECT_TRUE(Matches("\\\\", "\\"));
  EXPECT_TRUE(Matches("\\$x", "$x"));
  EXPECT_TRUE(Matches("$1", "$1"));  // '$' without a name is a character
  EXPECT_TRUE(Matches("a\\", "a\\"));  // a trailing backslash is itself
  EXPECT_TRUE(Matches("\\xFF", "\xFF"));
}

TEST(RexiSearch, BackslashZeroIsTheEndOfTextByte) {
  // It takes its digit along, so "\00" is byte 0 then '0'; byte 0 ends every
  // text here, so it never matches, also inside brackets.
  EXPECT_EQ(Compile("\\0").code, 0);
  EXPECT_EQ(Compile("[\\0]").code, 0);
  EXPECT_FALSE(Matches("a\\0", "a0"));
  EXPECT_TRUE(Matches("[\\0b]", "b"));
  // With another end-of-text character the byte 0 is an ordinary byte.
  REXI_Search rx('\n');
  ASSERT_EQ(rx.SetPattern("a\\00").code, 0);
  std::string text("xa\0000\n", 5);
  Hit h = FindIn(rx, text);
  EXPECT_TRUE(h.found);
  EXPECT_EQ(h.offset, 1u);
  EXPECT_EQ(h.length, 3u);
}

TEST(RexiSearch, CasePostfixAddsLowerCaseOnly) {
  EXPECT_TRUE(Matches("A\\i", "A"));
  EXPECT_TRUE(Matches("A\\i", "a"));
  EXPECT_TRUE(Matches("a\\i", "a"));
  EXPECT_FALSE(Matches("a\\i", "A"));
  EXPECT_TRUE(Matches("(AGENT[0-9]+)\\i.BIN", "agent3.BIN"));
  EXPECT_FALSE(Matches("(AGENT[0-9]+)\\i.BIN", "agent3.bin"));
  EXPECT_TRUE(Matches("[A-C]\\i", "b"));
  EXPECT_FALSE(Matches("[A-C]\\i", "d"));
}

TEST(RexiSearch, PostfixOperators) {
  EXPECT_EQ(Search("ab*c", "ac").length, 2u);
  EXPECT_EQ(Search("ab*c", "abbbc").length, 5u);
  EXPECT_FALSE(Matches("ab+c", "ac"));
  EXPECT_EQ(Search("ab+c", "abbc").length, 4u);
  EXPECT_EQ(Search("ab?c", "ac").length, 2u);
  EXPECT_FALSE(Matches("ab?c", "abbc"));
  EXPECT_EQ(Search("(ab)+", "xababa").length, 4u);
}

TEST(RexiSearch, EmptyMatchesOfNullablePatterns) {
  Hit h = Search("a*", "bbb");
  EXPECT_TRUE(h.found);
  EXPECT_EQ(h.offset, 0u);
  EXPECT_EQ(h.length, 0u);
  // The empty match at the cursor counts even when a longer attempt fails.
  h = Search("(ab)*", "ac");
  EXPECT_TRUE(h.found);
  EXPECT_EQ(h.offset, 0u);
  EXPECT_EQ(h.length, 0u);
  h = Search("(ab)*", "");
  EXPECT_TRUE(h.found);
  EXPECT_TRUE(h.at_end);
}

TEST(RexiSearch, AttemptRunningIntoTheEndStopsTheSearch) {
  Hit h = Search("abc|b", "ab");
  EXPECT_FALSE(h.found);
  EXPECT_EQ(h.offset, 2u);  // the cursor stays at the end of the text
  EXPECT_TRUE(h.at_end);
  // A failed attempt that stops before the end lets the next start match.
  h = Search("abc|b", "abx");
  EXPECT_TRUE(h.found);
  EXPECT_EQ(h.offset, 1u);
}

TEST(RexiSearch, MatchesNeverReachPastTheEndOfText) {
  Hit h = Search("a.*", "abc");
  EXPECT_TRUE(h.found);
  EXPECT_EQ(h.length, 3u);
  EXPECT_TRUE(h.at_end);
  REXI_Search rx(';');
  ASSERT_EQ(rx.SetPattern("b.*").code, 0);
  h = FindIn(rx, "abc;def");
  EXPECT_TRUE(h.found);
  EXPECT_EQ(h.offset, 1u);
  EXPECT_EQ(h.length, 2u);
  EXPECT_TRUE(h.at_end);
}

TEST(RexiSearch, RepeatedFindWalksThroughAllMatches) {
  REXI_Search rx;
  ASSERT_EQ(rx.SetPattern("[0-9]+").code, 0);
  std::string text = "a1 b22 c333 d";
  const char* cursor = text.c_str();
  size_t length = 0;
  bool at_end = false;
  std::vector<std::string> found;
  while (rx.Find(cursor, length, at_end)) found.emplace_back(cursor - length, length);
  EXPECT_EQ(found, (std::vector<std::string>{"1", "22", "333"}));
  EXPECT_EQ(*cursor, '\0');
}

TEST(RexiSearch, OverlappingSetsArePartitionedByteByByte) {
  // [a-m] and [h-z] share h..m; each byte must follow its own sets.
  EXPECT_TRUE(Matches("[a-m]x|[h-z]y", "cx"));
  EXPECT_TRUE(Matches("[a-m]x|[h-z]y", "ky"));
  EXPECT_TRUE(Matches("[a-m]x|[h-z]y", "kx"));
  EXPECT_TRUE(Matches("[a-m]x|[h-z]y", "ry"));
  EXPECT_FALSE(Matches("[a-m]x|[h-z]y", "cy"));
  EXPECT_FALSE(Matches("[a-m]x|[h-z]y", "rx"));
  // Same-size sets that overlap.
  EXPECT_TRUE(Matches("[ab]1|[bc]2", "b2"));
  EXPECT_TRUE(Matches("[ab]1|[bc]2", "b1"));
  EXPECT_FALSE(Matches("[ab]1|[bc]2", "a2"));
}

TEST(RexiCompile, ErrorMessagesAndOffsets) {
  struct Case {
    const char* pattern;
    const char* message;
    int position;
  } cases[] = {
      {"a**", "unexpected symbol", 2},
      {"(ab", ") expected\r\n  ", 3},
      {"*a", "[,',( or ident expected", 0},
      {"$x", "$x not found in name dictionary", 0},
      {"ab$name_1", "$name_1 not found in name dictionary", 2},
      {"a)", "unexpected symbol", 1},
      {"a=b", "unexpected symbol", 1},
      {"=", "[,',( or ident expected", 0},
      {"a|", "[,',( or ident expected", 2},
      {"a||b", "[,',( or ident expected", 2},
      {"()", "[,',( or ident expected", 1},
      {"", "[,',( or ident expected", 0},
      {"x[ab", "closing ] missing", 1},
      {"  (a b c", ") expected\r\n  ", 8},
      {"(a**)", ") expected\r\n  ", 3},
      {"a\\i\\i", "unexpected symbol", 3},
  };
  for (const Case& c : cases) {
    CompileResult r = Compile(c.pattern);
    EXPECT_EQ(r.code, 2) << c.pattern;
    EXPECT_EQ(r.message, c.message) << c.pattern;
    EXPECT_EQ(r.position, c.position) << c.pattern;
  }
  CompileResult ok = Compile("a(b|c)*d");
  EXPECT_EQ(ok.code, 0);
  EXPECT_EQ(ok.message, "");
  EXPECT_EQ(ok.position, 0);
}

TEST(RexiCompile, FailedPatternKeepsThePreviousOne) {
  REXI_Search rx;
  ASSERT_EQ(rx.SetPattern("abc").code, 0);
  EXPECT_EQ(rx.SetPattern("(x").code, 2);
  EXPECT_TRUE(FindIn(rx, "xabc").found);
  EXPECT_FALSE(FindIn(rx, "(x").found);
  ASSERT_EQ(rx.SetPattern("x").code, 0);
  EXPECT_FALSE(FindIn(rx, "abc").found);
}

TEST(RexiCompile, UncompiledEngineFindsNothing) {
  REXI_Search rx;
  Hit h = FindIn(rx, "anything");
  EXPECT_FALSE(h.found);
  EXPECT_EQ(h.offset, 8u);
  EXPECT_EQ(rx.SetPattern("(").code, 2);
  EXPECT_FALSE(FindIn(rx, "(").found);
}

TEST(RexiCompile, NameReferencesExpandToCopiesOfTheStoredExpression) {
  REXI_Search rx;
  rx.compiler().AddName("$digit", "[0-9]");
  rx.compiler().AddName("$agent", "AGENT");
  ASSERT_EQ(rx.SetPattern("$agent$digit+.BIN").code, 0);
  EXPECT_TRUE(FindIn(rx, "XAGENT42.BIN").found);
  EXPECT_FALSE(FindIn(rx, "XAGENT.BIN").found);
  // A postfix on one copy leaves the stored expression alone.
  ASSERT_EQ(rx.SetPattern("$agent\\i $agent").code, 0);
  EXPECT_TRUE(FindIn(rx, "agentAGENT").found);
  EXPECT_FALSE(FindIn(rx, "agentagent").found);
  EXPECT_EQ(rx.SetPattern("$agents").message, "$agents not found in name dictionary");
}

TEST(RexiCompile, HostilePatternsAreRefusedNotExhausting) {
  std::string deep(5000, '(');
  EXPECT_EQ(Compile(deep + "a" + std::string(5000, ')')).message, "pattern too complex");
  std::string doubling = "a";
  for (int i = 0; i < 30; ++i) doubling = "(" + doubling + ")+";
  EXPECT_EQ(Compile(doubling).message, "pattern too complex");
  // The classic blow-up of a deterministic automaton: (a|b)*a(a|b){n}.
  std::string blowup = "(a|b)*a";
  for (int i = 0; i < 20; ++i) blowup += "(a|b)";
  EXPECT_EQ(Compile(blowup).message, "pattern too complex");
  // Below the bounds the same shapes compile.
  EXPECT_EQ(Compile("(a|b)*a(a|b)(a|b)(a|b)").code, 0);
}

}  // namespace

}  // namespace kivro
