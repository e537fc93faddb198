#include "transfer/swarmlet_meta.h"

#include <gtest/gtest.h>

namespace kivro {

namespace {

bool Read(const std::string& text, SwarmletMeta* meta, std::string* why = nullptr) {
  return ReadSwarmletMeta(text.data(), text.size(), meta, why);
}

TEST(SwarmletMeta, WrittenMetaReadsBack) {
  SwarmletMeta meta;
  meta.name = "gobanvista_1.zip";
  meta.size = 4294967295ull;
  meta.sources = {"http://dl.example/dist/gobanvista_1.zip", "http://127.0.0.1:8080/x.zip"};
  std::string text = WriteSwarmletMeta(meta);
  ASSERT_FALSE(text.empty());
  SwarmletMeta back;
  ASSERT_TRUE(Read(text, &back));
  EXPECT_EQ(back.name, meta.name);
  EXPECT_EQ(back.size, meta.size);
  EXPECT_EQ(back.sources, meta.sources);
  EXPECT_EQ(back.torrent, "");
}

TEST(SwarmletMeta, TorrentNameReadsBackAndIsAPlainName) {
  SwarmletMeta meta;
  meta.name = "a.zip";
  meta.size = 5;
  meta.sources = {"http://h/a.zip"};
  meta.torrent = "a.zip.torrent";
  SwarmletMeta back;
  ASSERT_TRUE(Read(WriteSwarmletMeta(meta), &back));
  EXPECT_EQ(back.torrent, "a.zip.torrent");
  meta.torrent = "../a.torrent";
  EXPECT_EQ(WriteSwarmletMeta(meta), "");
  std::string head = "KIVRO-SWARMLET 1\nname a\nsize 1\nsource http://h/a\n";
  EXPECT_FALSE(Read(head + "torrent ../x.torrent\n", &back));
  EXPECT_FALSE(Read(head + "torrent /x.torrent\n", &back));
  EXPECT_FALSE(Read(head + "torrent a.torrent\ntorrent b.torrent\n", &back));
}

TEST(SwarmletMeta, ToleratesCommentsCrLfAndUnknownKeys) {
  SwarmletMeta meta;
  ASSERT_TRUE(Read("# made by the publisher\r\nKIVRO-SWARMLET 1\r\n\r\nname a.zip\r\nsize 0\r\n"
                   "checksum 1234\r\nsource http://h/a.zip\r\n",
                   &meta));
  EXPECT_EQ(meta.name, "a.zip");
  EXPECT_EQ(meta.size, 0u);
  ASSERT_EQ(meta.sources.size(), 1u);
}

TEST(SwarmletMeta, RefusesNamesThatLeaveTheFolder) {
  for (const char* name : {"../a.zip", "a/b.zip", "a\\b.zip", "C:a.zip", "..", ".", "", "a.zip.",
                           " a.zip"}) {
    std::string text = std::string("KIVRO-SWARMLET 1\nname ") + name + "\nsize 1\nsource http://h/a\n";
    SwarmletMeta meta;
    EXPECT_FALSE(Read(text, &meta)) << name;
  }
  SwarmletMeta meta;
  meta.name = "../x";
  meta.size = 1;
  meta.sources = {"http://h/x"};
  EXPECT_EQ(WriteSwarmletMeta(meta), "");
}

TEST(SwarmletMeta, RefusesBadSizesSourcesAndShapes) {
  SwarmletMeta meta;
  std::string why;
  EXPECT_FALSE(Read("KIVRO-SWARMLET 2\nname a\nsize 1\nsource http://h/a\n", &meta, &why));
  EXPECT_FALSE(Read("name a\nsize 1\nsource http://h/a\n", &meta));
  EXPECT_FALSE(Read("KIVRO-SWARMLET 1\nname a\nsize 4294967296\nsource http://h/a\n", &meta));
  EXPECT_FALSE(Read("KIVRO-SWARMLET 1\nname a\nsize -1\nsource http://h/a\n", &meta));
  EXPECT_FALSE(Read("KIVRO-SWARMLET 1\nname a\nsize 1\nsource ftp://h/a\n", &meta));
  EXPECT_FALSE(Read("KIVRO-SWARMLET 1\nname a\nsize 1\nsource http:///a\n", &meta));
  EXPECT_FALSE(Read("KIVRO-SWARMLET 1\nname a\nsize 1\n", &meta, &why));
  EXPECT_EQ(why, "name, size or source missing");
  EXPECT_FALSE(Read("KIVRO-SWARMLET 1\nname a\nname b\nsize 1\nsource http://h/a\n", &meta));
  std::string many = "KIVRO-SWARMLET 1\nname a\nsize 1\n";
  for (int i = 0; i < 17; ++i) many += "source http://h/a\n";
  EXPECT_FALSE(Read(many, &meta));
  std::string huge = "KIVRO-SWARMLET 1\n# " + std::string(kSwarmletMetaMaxBytes, 'x');
  EXPECT_FALSE(Read(huge, &meta));
  EXPECT_FALSE(Read("", &meta));
}

}  // namespace

}  // namespace kivro
