// The release manifest's text: what is written reads back, and anything out
// of form is refused rather than half understood.
#include "update/release_manifest.h"

#include <gtest/gtest.h>

namespace kivro {

namespace {

const char kHashA[] = "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855";

TEST(ReleaseManifest, WrittenTextReadsBackSorted) {
  ReleaseManifest m;
  m.published = 1765000000;
  ManifestEntry b{"vrl/newvrl/gobanvista.vrl", 12, {}};
  ManifestEntry a{"dist/gobanvista/바둑 rules.txt.zip", 4000000000ull, {}};
  a.sha256[0] = 0xAB;
  m.entries = {b, a};
  std::string text = FormatReleaseManifest(m);
  EXPECT_EQ(text.substr(0, 38), "kivro-manifest 1\npublished 1765000000\n");
  EXPECT_NE(text.find("ab00000000000000000000000000000000000000000000000000000000000000  "
                      "4000000000  dist/gobanvista/바둑 rules.txt.zip\n"),
            std::string::npos);
  ReleaseManifest back;
  std::string error;
  ASSERT_TRUE(ParseReleaseManifest(text, &back, &error)) << error;
  EXPECT_EQ(back.published, 1765000000);
  ASSERT_EQ(back.entries.size(), 2u);
  EXPECT_EQ(back.entries[0].path, "dist/gobanvista/바둑 rules.txt.zip");
  ASSERT_NE(back.Find("vrl/newvrl/gobanvista.vrl"), nullptr);
  EXPECT_EQ(back.Find("vrl/newvrl/gobanvista.vrl")->size, 12u);
  EXPECT_EQ(back.Find("vrl/newvrl/gobanvista.vr"), nullptr);
  EXPECT_EQ(back.Find("dist/gobanvista/바둑 rules.txt.zip")->sha256[0], 0xAB);
}

TEST(ReleaseManifest, LinesOutOfFormAreRefused) {
  const std::string head = "kivro-manifest 1\npublished 5\n";
  const std::string line = std::string(kHashA) + "  3  dist/a.zip\n";
  ReleaseManifest m;
  std::string error;
  ASSERT_TRUE(ParseReleaseManifest(head + line, &m, &error)) << error;
  ASSERT_TRUE(ParseReleaseManifest(head, &m, &error)) << error;  // an empty release
  const std::string bad[] = {
      "",
      "kivro-manifest 2\npublished 5\n",
      "kivro-manifest 1\npublished\n",
      "kivro-manifest 1\npublished -5\n",
      "kivro-manifest 1\npublished 99999999999999999999\n",
      head + line.substr(0, line.size() - 1),                 // no final line feed
      head + std::string(kHashA).substr(1) + "  3  dist/a.zip\n",  // short hash
      head + "E3B0C44298FC1C149AFBF4C8996FB92427AE41E4649B934CA495991B7852B855  3  dist/a.zip\n",
      head + std::string(kHashA) + " 3 dist/a.zip\n",
      head + std::string(kHashA) + "  x  dist/a.zip\n",
      head + std::string(kHashA) + "  3  \n",
      head + std::string(kHashA) + "  3  /etc/passwd\n",
      head + std::string(kHashA) + "  3  dist/../../x\n",
      head + std::string(kHashA) + "  3  dist\\a.zip\n",
      head + std::string(kHashA) + "  3  dist/a.zip\r\n",
      head + line + line,                                      // repeated
      head + std::string(kHashA) + "  3  dist/b.zip\n" + line,  // unsorted
  };
  for (const std::string& text : bad) EXPECT_FALSE(ParseReleaseManifest(text, &m, &error)) << text;
}

TEST(ReleaseManifest, StreamHashMatchesTheKnownValue) {
  Sha256Stream h;
  h.Update("ab", 2);
  h.Update("c", 1);
  uint8_t out[32];
  EXPECT_TRUE(h.Final(out));
  EXPECT_EQ(HexText(out, 32), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
  EXPECT_EQ(h.Size(), 3u);
}

}  // namespace

}  // namespace kivro
