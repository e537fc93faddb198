#include "patch/vrel_miniunz.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "patch/patch_info_test_support.h"
#include "platform/file_mode.h"
#include "platform/testing/links.h"

namespace kivro::patch_test {
namespace {

std::vector<int32_t> g_percents;
std::vector<std::string> g_names;
int32_t g_stop_after = -1;  // stop query answers 1 once this many calls were made
int32_t g_stop_calls = 0;

void OnPercent(int32_t p) { g_percents.push_back(p); }
void OnName(const char* n) { g_names.push_back(n); }
int32_t StopQuery() { return g_stop_after >= 0 && ++g_stop_calls > g_stop_after ? 1 : 0; }

class MiniunzTest : public PatchTest {
 protected:
  void SetUp() override {
    PatchTest::SetUp();
    g_percents.clear();
    g_names.clear();
    g_stop_after = -1;
    g_stop_calls = 0;
    out_ = dir_ + "/out";
  }
  int32_t Extract(const std::string& zip) {
    CVrelMiniunz unz(StopQuery, OnName, nullptr, OnPercent);
    return unz.ExtractArchive(Win(zip).c_str(), Win(out_).c_str());
  }
  std::string out_;
};

TEST_F(MiniunzTest, UnpacksFolderEntryAndTheFileBelowIt) {
  MakeZip(dir_ + "/a.zip", {{"sub/", ""}, {"sub/inner.txt", "inner"}, {"top.txt", "top"}});
  ASSERT_EQ(Extract(dir_ + "/a.zip"), 0);
  EXPECT_EQ(ReadFile(out_ + "/sub/inner.txt"), "inner");
  EXPECT_EQ(ReadFile(out_ + "/top.txt"), "top");
  EXPECT_EQ(g_names, (std::vector<std::string>{"inner.txt", "top.txt"}));
}

TEST_F(MiniunzTest, CreatesMissingFoldersOfAnEntryAndOverwrites) {
  WriteFile(out_ + "/x/y/z.txt", "old content");
  MakeZip(dir_ + "/a.zip", {{"x/y/z.txt", "new"}, {"p/q/r.txt", "deep"}});
  ASSERT_EQ(Extract(dir_ + "/a.zip"), 0);
  EXPECT_EQ(ReadFile(out_ + "/x/y/z.txt"), "new");
  EXPECT_EQ(ReadFile(out_ + "/p/q/r.txt"), "deep");
}

TEST_F(MiniunzTest, RestoresExecuteBitsOfUnixEntries) {
  MakeZip(dir_ + "/a.zip", {{"run.sh", "#!/bin/sh\n", 0755}, {"data.txt", "d", 0644}});
  ASSERT_EQ(Extract(dir_ + "/a.zip"), 0);
  EXPECT_EQ(IsExecutable(out_ + "/run.sh"), platform::KeepsExecuteBits());
  EXPECT_FALSE(IsExecutable(out_ + "/data.txt"));
}

TEST_F(MiniunzTest, GivesFilesTheEntryTime) {
  MakeZip(dir_ + "/a.zip", {{"t.txt", "t"}});
  ASSERT_EQ(Extract(dir_ + "/a.zip"), 0);
  // MakeZip stamps entries with local time 1700000000 (seconds as if UTC).
  EXPECT_EQ(WriteTime(out_ + "/t.txt"), platform::LocalSecondsToUtc(1700000000));
}

// Before: the entry was skipped and the archive reported unpacked (0), so
// the update called the file installed while the old one stayed.
TEST_F(MiniunzTest, ATargetThatCannotBeCreatedFailsTheArchive) {
  // A folder stands where the file should go.
  std::filesystem::create_directories(out_ + "/blocked.txt");
  MakeZip(dir_ + "/a.zip", {{"blocked.txt", "b"}, {"ok.txt", "fine"}});
  EXPECT_EQ(Extract(dir_ + "/a.zip"), kUnzWriteFailed);
  EXPECT_TRUE(std::filesystem::is_directory(out_ + "/blocked.txt"));
  EXPECT_FALSE(Exists(out_ + "/blocked.txt.kvpart"));
}

// Before: the name was turned into "?.txt" (code page 949 has no emoji),
// so two different names could land on one file.
TEST_F(MiniunzTest, RefusesAUtf8NameTheCodePageCannotHold) {
  const std::string name = "\xF0\x9F\x98\x80.txt";  // U+1F600
  std::string zip = dir_ + "/utf8.zip";
  MakeZip(zip, {{name, "x"}});
  // Mark the name as UTF-8 (general purpose bit 11) in both headers.
  std::string bytes = ReadFile(zip);
  size_t local = bytes.find("PK\x03\x04"), central = bytes.find("PK\x01\x02");
  ASSERT_NE(local, std::string::npos);
  ASSERT_NE(central, std::string::npos);
  bytes[local + 7] = static_cast<char>(bytes[local + 7] | 0x08);
  bytes[central + 9] = static_cast<char>(bytes[central + 9] | 0x08);
  WriteFile(zip, bytes);
  EXPECT_EQ(Extract(zip), kUnzEntryNameRefused);
  EXPECT_FALSE(Exists(out_ + "/?.txt"));
}

// Threat: a link planted in the destination folder (at an entry's unpack
// file or at a folder an entry lies in) would make the extractor write a
// file elsewhere. The archive fails; the linked file stays as it was.
// Before: both wrote through the link.
TEST_F(MiniunzTest, NeverWritesThroughALinkInTheDestination) {
  std::filesystem::create_directories(out_);
  std::filesystem::create_directories(dir_ + "/outside");
  WriteFile(dir_ + "/outside/victim", "keep");
  if (!platform::MakeLink(dir_ + "/outside/victim", out_ + "/a.txt.kvpart"))
    GTEST_SKIP() << platform::kNoLinksHere;
  MakeZip(dir_ + "/a.zip", {{"a.txt", "evil"}});
  EXPECT_EQ(Extract(dir_ + "/a.zip"), kUnzWriteFailed);
  ASSERT_TRUE(platform::MakeLink(dir_ + "/outside", out_ + "/sub", true));
  MakeZip(dir_ + "/b.zip", {{"sub/victim", "evil"}, {"sub/new.txt", "evil"}});
  EXPECT_EQ(Extract(dir_ + "/b.zip"), kUnzWriteFailed);
  EXPECT_EQ(ReadFile(dir_ + "/outside/victim"), "keep");
  EXPECT_FALSE(Exists(dir_ + "/outside/new.txt"));
  EXPECT_FALSE(Exists(dir_ + "/outside/victim.kvpart"));
}

TEST_F(MiniunzTest, RefusesEntryNamesThatLeaveTheFolder) {
  for (const char* name : {"../evil.txt", "sub/../../evil.txt", "/evil.txt", "\\evil.txt",
                           "C:evil.txt", "c:/evil.txt", "..\\evil.txt", "sub/.. /evil.txt"}) {
    SCOPED_TRACE(name);
    std::string zip = dir_ + "/hostile.zip";
    MakeZip(zip, {{"fine.txt", "ok"}, {name, "evil"}});
    EXPECT_EQ(Extract(zip), kUnzEntryNameRefused);
    EXPECT_FALSE(Exists(dir_ + "/evil.txt"));
    EXPECT_FALSE(Exists("/evil.txt"));
    EXPECT_FALSE(Exists(out_ + "/evil.txt"));
  }
}

TEST_F(MiniunzTest, CorruptDataKeepsThePreviousFileAndLeavesNoPart) {
  WriteFile(out_ + "/f.bin", "previous");
  std::string content(100000, 'a');
  for (size_t i = 0; i < content.size(); i += 7) content[i] = static_cast<char>(i * 31);
  MakeZip(dir_ + "/a.zip", {{"f.bin", content}});
  std::string zip = ReadFile(dir_ + "/a.zip");
  std::string original = zip;
  zip[30 + 5 + 40] ^= 0x55;  // inside the deflated data, after the local header
  WriteFile(dir_ + "/a.zip", zip);
  EXPECT_LT(Extract(dir_ + "/a.zip"), 0);
  EXPECT_TRUE(ReadFile(out_ + "/f.bin") == "previous");
  // A stream that ends before the declared size is as corrupt.
  zip = original;
  zip[zip.size() / 2] ^= 0x55;
  WriteFile(dir_ + "/a.zip", zip);
  int32_t r = Extract(dir_ + "/a.zip");
  EXPECT_LT(r, 0);
  EXPECT_TRUE(ReadFile(out_ + "/f.bin") == "previous");
  EXPECT_FALSE(Exists(out_ + "/f.bin.kvpart"));
}

TEST_F(MiniunzTest, NotAnArchiveAndMissingArchiveGive71) {
  WriteFile(dir_ + "/junk.zip", "this is not a zip file at all");
  EXPECT_EQ(Extract(dir_ + "/junk.zip"), kUnzCannotOpen);
  EXPECT_EQ(Extract(dir_ + "/missing.zip"), kUnzCannotOpen);
}

TEST_F(MiniunzTest, PercentRisesOverTheWholeArchiveToHundredEachValueOnce) {
  std::string big(600000, 'x');
  MakeZip(dir_ + "/a.zip", {{"one.bin", big}, {"two.bin", big}});
  ASSERT_EQ(Extract(dir_ + "/a.zip"), 0);
  ASSERT_FALSE(g_percents.empty());
  EXPECT_EQ(g_percents.back(), 100);
  for (size_t i = 1; i < g_percents.size(); ++i) EXPECT_GT(g_percents[i], g_percents[i - 1]);
  // Half-way through the archive (end of the first entry) is near 50, not 100.
  bool saw_middle = false;
  for (int32_t p : g_percents) saw_middle |= p >= 40 && p <= 60;
  EXPECT_TRUE(saw_middle);
}

TEST_F(MiniunzTest, StopQueryEndsWithCodeOneAndNoHalfFile) {
  std::string big(1 << 20, 'y');
  MakeZip(dir_ + "/a.zip", {{"big.bin", big}});
  g_stop_after = 2;
  EXPECT_EQ(Extract(dir_ + "/a.zip"), 1);
  EXPECT_FALSE(Exists(out_ + "/big.bin"));
  EXPECT_FALSE(Exists(out_ + "/big.bin.kvpart"));
}

TEST_F(MiniunzTest, RefusesAPathThatDoesNotFit) {
  std::string name(200, 'n');
  MakeZip(dir_ + "/a.zip", {{name + "/" + name, "x"}});
  EXPECT_EQ(Extract(dir_ + "/a.zip"), kUnzPathTooLong);
}

}  // namespace
}  // namespace kivro::patch_test
