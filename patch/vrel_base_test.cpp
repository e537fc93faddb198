#include "patch/vrel_base.h"

#include <gtest/gtest.h>

#include <string>

#include "patch/list_date.h"
#include "platform/file.h"
#include "platform/filetime.h"
#include "platform/paths.h"

namespace kivro {

namespace {

int64_t Local(int y, int mo, int d, int h, int mi, int s) {
  return platform::CalendarToSeconds({y, mo, d, h, mi, s});
}

struct Parsed : CVrelBase {
  explicit Parsed(const std::string& text) { ReadBuffer(text.data(), text.size()); }
};

// ---- LineTokenizer -------------------------------------------------------

TEST(LineTokenizer, SplitsAtTabsCommasAndOptionallySpaces) {
  LineTokenizer t;
  t.SetLine("\r\rmy file.txt\t12,34 56\r\n\r");
  std::string token;
  ASSERT_TRUE(t.NextToken(false, &token));
  EXPECT_EQ(token, "my file.txt");
  ASSERT_TRUE(t.NextValue(&token));
  EXPECT_EQ(token, "12");
  ASSERT_TRUE(t.NextValue(&token));
  EXPECT_EQ(token, "34");
  ASSERT_TRUE(t.NextValue(&token));
  EXPECT_EQ(token, "56");
  EXPECT_FALSE(t.NextValue(&token));
  EXPECT_EQ(token, "56") << "a failed read leaves the previous token";
}

TEST(LineTokenizer, DropsLeadingSpacesThenTabs) {
  LineTokenizer t;
  t.SetLine("   \t\tkey value\n");
  std::string token;
  ASSERT_TRUE(t.NextToken(true, &token));
  EXPECT_EQ(token, "key");
  ASSERT_TRUE(t.NextToken(true, &token));
  EXPECT_EQ(token, "value");
}

TEST(LineTokenizer, LastTokenNeedsATerminator) {
  LineTokenizer t;
  t.SetLine("a,b");
  std::string token;
  ASSERT_TRUE(t.NextToken(true, &token));
  EXPECT_EQ(token, "a");
  int32_t before = t.position;
  EXPECT_FALSE(t.NextToken(true, &token));
  EXPECT_EQ(t.position, before);
  t.SetLine("only");
  EXPECT_FALSE(t.NextToken(true, &token));
}

TEST(ListNumber, ReadsLikeAtolButKeepsUnsignedValues) {
  EXPECT_EQ(ListNumber("123"), 123u);
  EXPECT_EQ(ListNumber("  42abc"), 42u);
  EXPECT_EQ(ListNumber("abc"), 0u);
  EXPECT_EQ(ListNumber(""), 0u);
  EXPECT_EQ(ListNumber("4000000000"), 4000000000u);
  EXPECT_EQ(ListNumber("-1"), 0xFFFFFFFFu);
}

// ---- list date -----------------------------------------------------------

TEST(ListDate, ShortAndLongFormsGiveTheSameLocalTime) {
  int64_t short_form = -1, long_form = -2;
  ASSERT_TRUE(ParseListDate("070315-134501", &short_form));
  ASSERT_TRUE(ParseListDate("20070315-134501", &long_form));
  EXPECT_EQ(short_form, long_form);
  EXPECT_EQ(short_form, Local(2007, 3, 15, 13, 45, 1));
}

TEST(ListDate, RejectsOtherShapesWithoutTouchingTheTime) {
  int64_t time = 99;
  for (const char* bad :
       {"", "0703151345", "070315134501", "0703151-34501", "2007031-5134501", "0703x5-134501",
        "071315-134501", "070332-134501", "070315-246000", "20070315-13450"}) {
    EXPECT_FALSE(ParseListDate(bad, &time)) << bad;
    EXPECT_EQ(time, 99) << bad;
  }
}

// ---- sections and header ---------------------------------------------------

TEST(VrelBase, SectionNamesMatchInAnyCaseAndUnknownOnesSwallowLines) {
  Parsed list(
      "[install] trailing words\n"
      "/data\n"
      "a.txt\t1,2,3,070101-000000\n"
      "[INSTAL]\n"
      "b.txt\t1,2,3,070101-000000\n"
      "[Install]\n"
      "/more\n"
      "c.txt\t1,2,3,070101-000000\n");
  ASSERT_EQ(list.install_directories.size(), 2u);
  ASSERT_EQ(list.install_directories[0]->files.size(), 1u);
  EXPECT_STREQ(list.install_directories[0]->files[0].name, "a.txt");
  ASSERT_EQ(list.install_directories[1]->files.size(), 1u);
  EXPECT_STREQ(list.install_directories[1]->files[0].name, "c.txt");
  EXPECT_EQ(list.line_count, 8);
}

TEST(VrelBase, HeaderKeysAreReadAndCounted) {
  Parsed list(
      "! a comment\n"
      "prjname Gobanvista\n"
      "PUBDATE 20070315-134501\n"
      "TCHKSUM 3000000000\n"
      "TFILENO 12\n"
      "TZIPSIZE 4567\n"
      "UNKNOWNKEY 5\n"
      "DOWNLOADURL \"http://example.test/dist/\"\n");
  EXPECT_EQ(list.project_name, "Gobanvista");
  EXPECT_EQ(list.publication_date, Local(2007, 3, 15, 13, 45, 1));
  EXPECT_EQ(list.total_checksum, 3000000000u);
  EXPECT_EQ(list.total_file_count, 12u);
  EXPECT_EQ(list.total_archive_size, 4567u);
  EXPECT_EQ(list.download_url, "http://example.test/dist/");
  EXPECT_EQ(list.header_key_count, 6);
}

TEST(VrelBase, DirectoryLineBeforeAnyHeaderKeyStartsInstall) {
  Parsed list(
      "/\n"
      "readme.txt\t10\t20\t30\t070101-120000\n");
  EXPECT_EQ(list.current_section, kSectionInstall);
  ASSERT_EQ(list.install_directories.size(), 1u);
  EXPECT_STREQ(list.install_directories[0]->path, "\\");
  ASSERT_EQ(list.install_directories[0]->files.size(), 1u);
  const VrelFileRecord& r = list.install_directories[0]->files[0];
  EXPECT_EQ(r.checksum, 10u);
  EXPECT_EQ(r.size, 20u);
  EXPECT_EQ(r.archive_size, 30u);
}

TEST(VrelBase, HeaderKeyCountDecidesWhetherLinesAreRecords) {
  // Five keys: the count is not 6, so a file line is taken for an unknown
  // key until a directory line forces the count.
  Parsed five(
      "PRJNAME a\nPUBDATE 070101-000000\nTCHKSUM 1\nTFILENO 1\nTZIPSIZE 1\n"
      "[INSTALL]\n"
      "swallowed.txt\t1,2,3,070101-000000\n"
      "/data\n"
      "kept.txt\t1,2,3,070101-000000\n");
  EXPECT_EQ(five.header_key_count, 6);
  ASSERT_EQ(five.install_directories.size(), 1u);
  ASSERT_EQ(five.install_directories[0]->files.size(), 1u);
  EXPECT_STREQ(five.install_directories[0]->files[0].name, "kept.txt");
  // Six keys: a seventh key line is no longer a header key.
  Parsed seven(
      "PRJNAME a\nPUBDATE 070101-000000\nTCHKSUM 1\nTFILENO 1\nTZIPSIZE 1\nDOWNLOADURL x\n"
      "PRJNAME again\n");
  EXPECT_EQ(seven.header_key_count, 6);
  EXPECT_EQ(seven.project_name, "a");
  // Bad values still count.
  Parsed bad("PUBDATE nonsense\nTCHKSUM\n");
  EXPECT_EQ(bad.header_key_count, 2);
  EXPECT_EQ(bad.publication_date, 0);
}

// ---- directory lines --------------------------------------------------------

TEST(VrelBase, KeywordDirectoryLinesUseThePlatformFolders) {
  Parsed list(
      "[INSTALL]\n"
      "<WINDOWS>/fonts\n"
      "<windows>/fonts\n"
      "<SYSTEM>/drivers\n"
      "<TEMP>\n"
      "<OTHER>/x\n");
  ASSERT_EQ(list.install_directories.size(), 3u);
  EXPECT_EQ(list.install_directories[0]->keyword, 1);
  EXPECT_EQ(std::string(list.install_directories[0]->path),
            platform::WindowsDirectory() + "\\fonts");
  EXPECT_EQ(std::string(list.install_directories[1]->path),
            platform::SystemDirectory() + "\\drivers");
  std::string temp = platform::TempDirectory();
  ASSERT_FALSE(temp.empty());
  ASSERT_EQ(temp.back(), '\\');
  temp.pop_back();
  EXPECT_EQ(std::string(list.install_directories[2]->path), temp);
}

TEST(VrelBase, RecordsKeepBlanksInNamesAndReadShortDates) {
  Parsed list(
      "[INSTALL]\n"
      "/my data/sub dir\n"
      "Game Data 1.bin\t 4000000000, 77 88\t070315-134501\n");
  ASSERT_EQ(list.install_directories.size(), 1u);
  EXPECT_STREQ(list.install_directories[0]->path, "\\my data\\sub dir");
  EXPECT_EQ(list.install_directories[0]->keyword, 0);
  ASSERT_EQ(list.install_directories[0]->files.size(), 1u);
  const VrelFileRecord& r = list.install_directories[0]->files[0];
  EXPECT_STREQ(r.name, "Game Data 1.bin");
  EXPECT_EQ(r.checksum, 4000000000u);
  EXPECT_EQ(r.size, 77u);
  EXPECT_EQ(r.archive_size, 88u);
  EXPECT_EQ(r.time, Local(2007, 3, 15, 13, 45, 1));
}

TEST(VrelBase, RecordsWithoutAParsableDateAreDropped) {
  Parsed list(
      "[INSTALL]\n/\n"
      "a.txt\t1,2,3,0701-000000\n"
      "b.txt\t1,2,3\n"
      "c.txt\t1,2,3,20070101-000000\n");
  ASSERT_EQ(list.install_directories[0]->files.size(), 1u);
  EXPECT_STREQ(list.install_directories[0]->files[0].name, "c.txt");
}

TEST(VrelBase, LastLineWithoutLineFeedLosesItsLastField) {
  Parsed dropped("[INSTALL]\n/\nkept.txt\t1,2,3,070101-000000\nlast.txt\t1,2,3,070101-000000");
  ASSERT_EQ(dropped.install_directories[0]->files.size(), 1u)
      << "the date is the lost field, so the record does not parse";
  Parsed trailing_comma("[INSTALL]\n/\nlast.txt\t1,2,3,070101-000000,");
  EXPECT_EQ(trailing_comma.install_directories[0]->files.size(), 1u);
  Parsed single("[UNINSTALL]\n/\nold.txt\nlast.txt");
  ASSERT_EQ(single.uninstall_directories.size(), 1u);
  ASSERT_EQ(single.uninstall_directories[0]->files.size(), 1u);
  EXPECT_STREQ(single.uninstall_directories[0]->files[0].name, "old.txt");
}

TEST(VrelBase, LongPhysicalLinesContinueAsTheNextLine) {
  // 4095 characters fill the buffer; the rest is read as a line of its own.
  std::string text = "[UNINSTALL]\n/\na.txt\t" + std::string(4095 - 6, 'x') + "tail.txt\n";
  Parsed list(text);
  EXPECT_EQ(list.line_count, 4);
  ASSERT_EQ(list.uninstall_directories.size(), 1u);
  ASSERT_EQ(list.uninstall_directories[0]->files.size(), 2u);
  EXPECT_STREQ(list.uninstall_directories[0]->files[0].name, "a.txt");
  EXPECT_STREQ(list.uninstall_directories[0]->files[1].name, "tail.txt");
}

TEST(VrelBase, NamesAndPathsLongerThanTheirFieldsAreDropped) {
  std::string name99(99, 'n'), name100(100, 'n');
  Parsed list("[UNINSTALL]\n/\n" + name99 + "\n" + name100 + "\n/" + std::string(99, 'd') +
              "\nunder_long_dir.txt\n");
  ASSERT_EQ(list.uninstall_directories.size(), 1u) << "the long directory is dropped";
  ASSERT_EQ(list.uninstall_directories[0]->files.size(), 1u)
      << "and its records do not land in the previous directory";
  EXPECT_EQ(std::string(list.uninstall_directories[0]->files[0].name), name99);
}

TEST(VrelBase, RecordsNeedADirectoryLineOfTheirOwnSection) {
  Parsed list(
      "[INSTALL]\n/a\nf.txt\t1,2,3,070101-000000\n"
      "[UNINSTALL]\nstray.txt\n"
      "[NPK_PACKAGE_INSTALL]\nstray.npk\t1,2,3,070101-000000,NPAK,18,0,36,36,1,2,3,4\n");
  ASSERT_EQ(list.install_directories.size(), 1u);
  EXPECT_EQ(list.install_directories[0]->files.size(), 1u);
  EXPECT_TRUE(list.uninstall_directories.empty());
  EXPECT_TRUE(list.package_install_bags.empty());
}

// ---- packages and entities -------------------------------------------------

const char kPackageList[] =
    "[NPK_PACKAGE_INSTALL]\n"
    "/data\n"
    "Sound.npk\t100,2000,300,070101-010203,NPAK,18,2,1036,36,11,22,33,44\n"
    "Old.npk\t1,2,3,070101-000000,NP,17\n"
    "[NPK_ENTITY_INSTALL]\n"
    "/DATA/sound.npk_npk\n"
    "voice^hello.wav\t5,600,70,070102-000000,36,500,600,4352,29000000,12345,15\n"
    "/data/missing.npk_npk\n"
    "orphan.wav\t5,600,70,070102-000000,36,500,600,0,0,0,6\n"
    "/data/sound.npk\n"
    "no_suffix.wav\t5,600,70,070102-000000,36,500,600,0,0,0,6\n";

TEST(VrelBase, PackageRecordsCarryTheirHeaderImage) {
  Parsed list(kPackageList);
  ASSERT_EQ(list.package_install_bags.size(), 1u);
  const CNpkPackageBag& bag = *list.package_install_bags[0];
  EXPECT_STREQ(bag.path, "\\data");
  ASSERT_EQ(bag.packages.size(), 2u);
  const CNpkPackage& p = *bag.packages[0];
  EXPECT_STREQ(p.name, "Sound.npk");
  EXPECT_EQ(p.checksum, 100u);
  EXPECT_EQ(p.size, 2000u);
  EXPECT_EQ(p.archive_size, 300u);
  EXPECT_EQ(p.time, Local(2007, 1, 1, 1, 2, 3));
  EXPECT_EQ(std::string(p.header.signature, 4), "NPAK");
  EXPECT_EQ(p.header.version, 18u);
  EXPECT_EQ(p.header.entity_count, 2u);
  EXPECT_EQ(p.header.table_offset, 1036u);
  EXPECT_EQ(p.header.data_offset, 36u);
  EXPECT_EQ(p.header.key[0], 11u);
  EXPECT_EQ(p.header.key[3], 44u);
  const CNpkPackage& old = *bag.packages[1];
  EXPECT_EQ(std::string(old.header.signature, 4), std::string("NP\0\0", 4));
  EXPECT_EQ(old.header.version, 17u);
  EXPECT_EQ(old.header.key[0], 17u) << "a missing number reads the previous field";
}

TEST(VrelBase, EntityRecordsGoToTheListedPackageOnly) {
  Parsed list(kPackageList);
  const CNpkPackage& sound = *list.package_install_bags[0]->packages[0];
  ASSERT_EQ(sound.entities.size(), 1u)
      << "lines after an unlisted package or a path without _npk must not land in sound.npk";
  const CNpkEntity& e = *sound.entities[0];
  EXPECT_STREQ(e.name, "voice^hello.wav");
  EXPECT_EQ(e.time, Local(2007, 1, 2, 0, 0, 0));
  EXPECT_EQ(e.info.data_offset, 36u);
  EXPECT_EQ(e.info.stored_size, 500u);
  EXPECT_EQ(e.info.unpacked_size, 600u);
  EXPECT_EQ(e.info.flags, 4352u);
  EXPECT_EQ(e.info.time_high, 29000000u);
  EXPECT_EQ(e.info.time_low, 12345u);
  EXPECT_EQ(e.info.name_length, 15);
  EXPECT_TRUE(list.package_install_bags[0]->packages[1]->entities.empty());
}

TEST(VrelBase, UninstallSectionsCreateTheirBagsAndPackages) {
  Parsed list(
      "[NPK_PACKAGE_UNINSTALL]\n/old\nGone.npk\n"
      "[NPK_ENTITY_UNINSTALL]\n/Data/Sound.npk\nvoice^a.wav\n"
      "/data/sound.npk\nvoice^b.wav\n"
      "/nobackslash.npk\n"
      "/data/other.npk\nx.wav\n");
  ASSERT_EQ(list.package_uninstall_bags.size(), 3u);
  EXPECT_STREQ(list.package_uninstall_bags[0]->path, "\\old");
  ASSERT_EQ(list.package_uninstall_bags[0]->packages.size(), 1u);
  EXPECT_STREQ(list.package_uninstall_bags[0]->packages[0]->name, "Gone.npk");
  const CNpkPackageBag& data = *list.package_uninstall_bags[1];
  EXPECT_STREQ(data.path, "\\data");
  ASSERT_EQ(data.packages.size(), 2u);
  EXPECT_STREQ(data.packages[0]->name, "sound.npk");
  ASSERT_EQ(data.packages[0]->entities.size(), 2u);
  EXPECT_STREQ(data.packages[0]->entities[1]->name, "voice^b.wav");
  EXPECT_STREQ(data.packages[1]->name, "other.npk");
  EXPECT_EQ(data.packages[1]->entities.size(), 1u);
  // A backslash in first place leaves the bag path "\".
  const CNpkPackageBag& root = *list.package_uninstall_bags[2];
  EXPECT_STREQ(root.path, "\\");
  ASSERT_EQ(root.packages.size(), 1u);
  EXPECT_STREQ(root.packages[0]->name, "nobackslash.npk");
}

TEST(VrelBase, ResetForgetsEverything) {
  Parsed list(std::string("PRJNAME a\n") + kPackageList);
  list.Reset();
  EXPECT_EQ(list.line_count, 0);
  EXPECT_EQ(list.header_key_count, 0);
  EXPECT_TRUE(list.package_install_bags.empty());
  EXPECT_EQ(list.current_package, nullptr);
  EXPECT_EQ(list.current_bag, nullptr);
  list.ReadBuffer("/\nfile.txt\t1,2,3,070101-000000\n", 32);
  EXPECT_EQ(list.install_directories.size(), 1u);
}

TEST(VrelBase, ReadFailsOnlyWhenTheFileCannotBeOpened) {
  CVrelBase list;
  EXPECT_FALSE(list.Read((platform::TempDirectory() + "no_such_dir_kivro\\x.vrl").c_str()));
  std::string path = platform::TempDirectory() + "kivro_vrl_read_test.vrl";
  // Larger than one read of the reader, with a line across the boundary.
  std::string text = "[UNINSTALL]\n/\n";
  for (int i = 0; i < 20000; ++i) text += "file" + std::to_string(i) + ".txt\n";
  ASSERT_TRUE(platform::WriteWholeFile(path, text.data(), text.size()));
  EXPECT_TRUE(list.Read(path.c_str()));
  ASSERT_EQ(list.uninstall_directories.size(), 1u);
  ASSERT_EQ(list.uninstall_directories[0]->files.size(), 20000u);
  EXPECT_STREQ(list.uninstall_directories[0]->files[19999].name, "file19999.txt");
  list.Reset();
  ASSERT_TRUE(platform::WriteWholeFile(path, "", 0));
  EXPECT_TRUE(list.Read(path.c_str())) << "an empty list still opens";
  platform::RemoveFile(path);
}

}  // namespace

}  // namespace kivro
