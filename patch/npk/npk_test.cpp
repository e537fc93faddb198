#include "patch/npk/npk.h"

#include <gtest/gtest.h>

#include "patch/npk/npk_test_support.h"
#include "platform/file.h"

namespace kivro {

namespace {

using namespace npk_test;

constexpr uint32_t kBoth = NPK_FLAG_ENCIPHERED | NPK_FLAG_COMPRESSED;

class NpkPackage : public ::testing::Test {
 protected:
  // Writes `content` to a source file and returns its path.
  std::string Source(const std::string& name, const std::vector<uint8_t>& content) {
    std::string path = dir / ("src_" + name);
    EXPECT_TRUE(WriteFile(path, content));
    return path;
  }
  std::string Package(const std::vector<uint8_t>& image, const std::string& name = "p.npk") {
    std::string path = dir / name;
    EXPECT_TRUE(WriteFile(path, image));
    return path;
  }
  ScratchFolder dir;
};

// ---- opening ----------------------------------------------------------------

TEST_F(NpkPackage, Version17IsReadWithTheDefaultKeyAndSavedAs18) {
  std::vector<RawEntity> entities = {{"a.bin", Bytes(300, 1), NPK_FLAG_ENCIPHERED},
                                     {"dir\\b.txt", Bytes(1000, 2, true), kBoth}};
  std::string path = Package(BuildPackage(17, entities));
  uint64_t old_size = ReadFile(path).size();
  NpkFile package;
  ASSERT_EQ(NpkOpen(&package, path.c_str()), NPK_SUCCESS);
  EXPECT_EQ(package.header.version, 17u);
  EXPECT_EQ(std::vector<uint32_t>(package.key, package.key + 4),
            std::vector<uint32_t>(kNpkDefaultKey, kNpkDefaultKey + 4));
  EXPECT_EQ(Decoded(&package, "A.BIN"), entities[0].content);
  ASSERT_EQ(NpkSave(&package, nullptr, true), NPK_SUCCESS);
  EXPECT_EQ(ReadFile(path).size(), old_size + 16);
  NpkClose(&package);
  ASSERT_EQ(NpkOpen(&package, path.c_str()), NPK_SUCCESS);
  EXPECT_EQ(package.header.version, 18u);
  EXPECT_EQ(package.header.data_offset, 36u);
  EXPECT_EQ(Decoded(&package, "a.bin"), entities[0].content);
  EXPECT_EQ(Decoded(&package, "dir\\b.txt"), entities[1].content);
}

TEST_F(NpkPackage, Version18UsesTheKeyOfItsHeader) {
  const uint32_t key[4] = {1, 2, 3, 0xDEADBEEF};
  std::vector<RawEntity> entities = {{"x", Bytes(64, 9), NPK_FLAG_ENCIPHERED}};
  NpkFile package;
  ASSERT_EQ(NpkOpen(&package, Package(BuildPackage(18, entities, key)).c_str()), NPK_SUCCESS);
  EXPECT_EQ(package.key[3], 0xDEADBEEFu);
  EXPECT_EQ(package.new_key[3], 0xDEADBEEFu);
  EXPECT_EQ(Decoded(&package, "x"), entities[0].content);
}

TEST_F(NpkPackage, MalformedFilesAreNotPackages) {
  std::vector<RawEntity> one = {{"a", Bytes(50, 1)}, {"b", Bytes(60, 2)}};
  std::vector<uint8_t> good = BuildPackage(18, one);
  auto open = [&](const std::vector<uint8_t>& image) {
    NpkFile package;
    int32_t rc = NpkOpen(&package, Package(image, "bad.npk").c_str());
    EXPECT_EQ(npk_last_error, rc);
    if (rc != NPK_SUCCESS) {
      EXPECT_FALSE(package.file.IsOpen());
      EXPECT_EQ(package.first, nullptr);
    }
    return rc;
  };
  EXPECT_EQ(open(good), NPK_SUCCESS);
  EXPECT_EQ(open(BuildPackage(18, one, kNpkDefaultKey, +1)), NPK_ERROR_NOT_A_PACKAGE)
      << "table one short of the count";
  EXPECT_EQ(open(BuildPackage(18, one, kNpkDefaultKey, -1)), NPK_ERROR_NOT_A_PACKAGE);
  EXPECT_EQ(open(BuildPackage(18, one, kNpkDefaultKey, 1 << 30)), NPK_ERROR_NOT_A_PACKAGE);
  auto bad = good;
  bad[0] = 'X';
  EXPECT_EQ(open(bad), NPK_ERROR_NOT_A_PACKAGE) << "signature";
  EXPECT_EQ(open(std::vector<uint8_t>(good.begin(), good.begin() + 19)), NPK_ERROR_NOT_A_PACKAGE);
  EXPECT_EQ(open(std::vector<uint8_t>(good.begin(), good.begin() + 30)), NPK_ERROR_NOT_A_PACKAGE);
  EXPECT_EQ(open(std::vector<uint8_t>(good.begin(), good.end() - 1)), NPK_ERROR_NOT_A_PACKAGE)
      << "name cut short";
  const size_t table = 36 + 50 + 60;
  bad = good;
  bad[12] = 0xFF;  // table offset far outside the file
  bad[13] = 0xFF;
  EXPECT_EQ(open(bad), NPK_ERROR_NOT_A_PACKAGE);
  bad = good;
  bad[table + 24] = 0;  // name length 0
  bad[table + 25] = 0;
  EXPECT_EQ(open(bad), NPK_ERROR_NOT_A_PACKAGE);
  bad = good;
  bad[table + 4] = 0xFF;  // stored size runs past the end of the file
  bad[table + 5] = 0xFF;
  EXPECT_EQ(open(bad), NPK_ERROR_NOT_A_PACKAGE);
  bad = good;
  bad[table + 3] = 0x80;  // block offset outside the file
  EXPECT_EQ(open(bad), NPK_ERROR_NOT_A_PACKAGE);
}

TEST_F(NpkPackage, DuplicateNamesInTheTableKeepTheFirst) {
  std::vector<RawEntity> entities = {{"Same", Bytes(10, 1)}, {"same", Bytes(20, 2)}};
  NpkFile package;
  EXPECT_EQ(NpkOpen(&package, Package(BuildPackage(18, entities, kNpkDefaultKey, -1)).c_str()),
            NPK_SUCCESS);
  EXPECT_EQ(npk_last_error, NPK_ERROR_DUPLICATE_NAME);
  EXPECT_EQ(Decoded(&package, "SAME"), entities[0].content);
  NpkFile counted;
  EXPECT_EQ(NpkOpen(&counted, Package(BuildPackage(18, entities), "q.npk").c_str()),
            NPK_ERROR_NOT_A_PACKAGE);
}

TEST_F(NpkPackage, OpenReportsMissingFilesBadPathsAndSecondOpens) {
  NpkFile package;
  EXPECT_EQ(NpkOpen(&package, (dir / "missing.npk").c_str()), NPK_ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(NpkOpen(&package, nullptr), NPK_ERROR_BAD_PATH);
  EXPECT_EQ(NpkOpen(&package, std::string(513, 'a').c_str()), NPK_ERROR_BAD_PATH);
  std::string path = Package(BuildPackage(18, {}));
  ASSERT_EQ(NpkOpen(&package, path.c_str()), NPK_SUCCESS);
  EXPECT_EQ(NpkOpen(&package, path.c_str()), NPK_ERROR_ALREADY_OPEN);
  NpkClose(&package);
  EXPECT_EQ(NpkOpen(&package, path.c_str()), NPK_SUCCESS) << "a closed package opens again";
}

// ---- editing and saving -------------------------------------------------------

TEST_F(NpkPackage, ContentSurvivesAddSaveReopenAndDecode) {
  std::string path = Package(BuildPackage(18, {}));
  std::vector<std::pair<std::string, std::vector<uint8_t>>> added;
  {
    NpkFile package;
    ASSERT_EQ(NpkOpen(&package, path.c_str()), NPK_SUCCESS);
    uint32_t seed = 0;
    for (size_t size :
         {size_t(1), size_t(7), size_t(8), size_t(9), size_t(255), size_t(256), size_t(257),
          size_t(263), size_t(264), size_t(4095), size_t(65539), size_t(1) << 20}) {
      for (uint32_t flags : {0u, NPK_FLAG_ENCIPHERED, NPK_FLAG_COMPRESSED, kBoth, 0x7u}) {
        std::string name = "e" + std::to_string(size) + "_" + std::to_string(flags);
        ++seed;
        auto content = Bytes(size, seed, seed % 2 == 0);
        ASSERT_EQ(NpkAddFile(&package, Source(name, content).c_str(), name.c_str(), flags),
                  NPK_SUCCESS);
        added.emplace_back(name, content);
      }
    }
    ASSERT_EQ(NpkSave(&package, nullptr, false), NPK_SUCCESS);
    EXPECT_FALSE(package.modified);
  }
  NpkFile reopened;
  ASSERT_EQ(NpkOpen(&reopened, path.c_str()), NPK_SUCCESS);
  EXPECT_EQ(reopened.header.entity_count, added.size());
  for (auto& [name, content] : added) {
    int32_t rc = 0;
    EXPECT_EQ(Decoded(&reopened, name, &rc), content) << name << " code " << rc;
  }
  // Unchanged neighbours are copied together; gaps and a plain pending file
  // between them must land in their places.
  for (size_t i = 3; i < added.size(); i += 7) {
    ASSERT_EQ(NpkRemove(&reopened, NpkFind(&reopened, added[i].first.c_str())), NPK_SUCCESS);
    added[i].second.clear();
  }
  auto plain = Bytes(70000, 77);
  ASSERT_EQ(NpkAddFile(&reopened, Source("plain", plain).c_str(), "plain", 0), NPK_SUCCESS);
  added.emplace_back("plain", plain);
  ASSERT_EQ(NpkSave(&reopened, nullptr, true), NPK_SUCCESS);
  NpkClose(&reopened);
  ASSERT_EQ(NpkOpen(&reopened, path.c_str()), NPK_SUCCESS);
  for (auto& [name, content] : added) {
    if (content.empty()) {
      EXPECT_EQ(NpkFind(&reopened, name.c_str()), nullptr) << name;
      continue;
    }
    int32_t rc = 0;
    EXPECT_EQ(Decoded(&reopened, name, &rc), content) << name << " code " << rc;
  }
}

TEST_F(NpkPackage, AddedEntitiesAreEncodedWithTheirFlags) {
  auto content = Bytes(4096, 2, true);
  NpkFile package;
  ASSERT_EQ(NpkOpen(&package, Package(BuildPackage(18, {})).c_str()), NPK_SUCCESS);
  ASSERT_EQ(NpkAddFile(&package, Source("c", content).c_str(), "c", NPK_FLAG_COMPRESSED),
            NPK_SUCCESS);
  ASSERT_EQ(NpkAddFile(&package, Source("e", content).c_str(), "e", NPK_FLAG_ENCIPHERED),
            NPK_SUCCESS);
  ASSERT_EQ(NpkAddFile(&package, Source("p", content).c_str(), "p", 0), NPK_SUCCESS);
  ASSERT_EQ(NpkSave(&package, nullptr, true), NPK_SUCCESS);
  auto file = ReadFile(package.path);
  NpkFileEntity* c = NpkFind(&package, "c");
  NpkFileEntity* e = NpkFind(&package, "e");
  NpkFileEntity* p = NpkFind(&package, "p");
  EXPECT_LT(c->info.stored_size, 1000u) << "compressed, not plain bytes under the flag";
  EXPECT_EQ(c->info.unpacked_size, 4096u);
  EXPECT_EQ(e->info.stored_size, 4096u);
  EXPECT_FALSE(std::equal(content.begin(), content.end(), file.begin() + e->info.data_offset));
  EXPECT_TRUE(std::equal(content.begin(), content.end(), file.begin() + p->info.data_offset));
  EXPECT_NE(p->info.modified.Value(), 0u) << "the source file's write time";
}

TEST_F(NpkPackage, SmallEntityWithBothFlagsIsEncipheredButNotCompressed) {
  auto content = Bytes(100, 8, true);
  NpkFile package;
  ASSERT_EQ(NpkOpen(&package, Package(BuildPackage(18, {})).c_str()), NPK_SUCCESS);
  ASSERT_EQ(NpkAddFile(&package, Source("s", content).c_str(), "s", kBoth), NPK_SUCCESS);
  ASSERT_EQ(NpkSave(&package, nullptr, true), NPK_SUCCESS);
  NpkFileEntity* s = NpkFind(&package, "s");
  ASSERT_EQ(s->info.stored_size, 100u);
  EXPECT_EQ(s->info.flags, kBoth);
  auto file = ReadFile(package.path);
  auto block = file.begin() + s->info.data_offset;
  EXPECT_TRUE(std::equal(block + 96, block + 100, content.begin() + 96)) << "tail in the clear";
  EXPECT_FALSE(std::equal(block, block + 96, content.begin()));
  EXPECT_EQ(Decoded(&package, "s"), content);
}

TEST_F(NpkPackage, UnchangedEntitiesAreCopiedByteForByte) {
  std::vector<RawEntity> entities = {{"keep", Bytes(3000, 4, true), kBoth}};
  std::string path = Package(BuildPackage(17, entities));
  auto before = ReadFile(path);
  std::vector<uint8_t> stored(before.begin() + 20, before.begin() + 20 + 0);
  NpkFile package;
  ASSERT_EQ(NpkOpen(&package, path.c_str()), NPK_SUCCESS);
  NpkFileEntity* keep = NpkFind(&package, "keep");
  stored.assign(before.begin() + keep->info.data_offset,
                before.begin() + keep->info.data_offset + keep->info.stored_size);
  ASSERT_EQ(NpkAddFile(&package, Source("n", Bytes(10, 5)).c_str(), "new", 0), NPK_SUCCESS);
  ASSERT_EQ(NpkSave(&package, nullptr, true), NPK_SUCCESS);
  auto after = ReadFile(path);
  keep = NpkFind(&package, "keep");
  EXPECT_EQ(keep->info.data_offset, 36u);
  EXPECT_TRUE(std::equal(stored.begin(), stored.end(), after.begin() + 36));
  EXPECT_EQ(keep->info.modified.low, 0x11223344u) << "time kept";
}

TEST_F(NpkPackage, SetKeyReEncodesEveryEntity) {
  std::vector<RawEntity> entities = {{"enc", Bytes(800, 1), NPK_FLAG_ENCIPHERED},
                                     {"both", Bytes(900, 2, true), kBoth}};
  std::string path = Package(BuildPackage(18, entities));
  auto before = ReadFile(path);
  NpkFile package;
  ASSERT_EQ(NpkOpen(&package, path.c_str()), NPK_SUCCESS);
  NpkSetKey(&package, 5, 6, 7, 8);
  EXPECT_TRUE(package.key_changed);
  ASSERT_EQ(NpkSave(&package, nullptr, true), NPK_SUCCESS);
  auto after = ReadFile(path);
  EXPECT_EQ(package.key[0], 5u);
  EXPECT_FALSE(package.key_changed);
  NpkFileEntity* enc = NpkFind(&package, "enc");
  EXPECT_FALSE(std::equal(after.begin() + enc->info.data_offset,
                          after.begin() + enc->info.data_offset + 800, before.begin() + 36));
  NpkClose(&package);
  ASSERT_EQ(NpkOpen(&package, path.c_str()), NPK_SUCCESS);
  EXPECT_EQ(package.key[3], 8u);
  EXPECT_EQ(Decoded(&package, "enc"), entities[0].content);
  EXPECT_EQ(Decoded(&package, "both"), entities[1].content);
}

TEST_F(NpkPackage, NewFlagsReEncodeAtTheNextSave) {
  std::vector<RawEntity> entities = {{"a", Bytes(5000, 3, true), 0}};
  std::string path = Package(BuildPackage(18, entities));
  NpkFile package;
  ASSERT_EQ(NpkOpen(&package, path.c_str()), NPK_SUCCESS);
  NpkSetNewFlags(NpkFind(&package, "a"), kBoth);
  ASSERT_EQ(NpkSave(&package, nullptr, true), NPK_SUCCESS);
  NpkFileEntity* a = NpkFind(&package, "a");
  EXPECT_EQ(a->info.flags, kBoth);
  EXPECT_LT(a->info.stored_size, 5000u);
  EXPECT_EQ(Decoded(&package, "a"), entities[0].content);
  NpkSetNewFlags(a, 0);
  ASSERT_EQ(NpkSave(&package, nullptr, true), NPK_SUCCESS);
  EXPECT_EQ(NpkFind(&package, "a")->info.stored_size, 5000u);
  EXPECT_EQ(Decoded(&package, "a"), entities[0].content);
}

TEST_F(NpkPackage, AddRefusesDuplicatesEmptyAndMissingFiles) {
  NpkFile package;
  ASSERT_EQ(NpkOpen(&package, Package(BuildPackage(18, {{"Name", Bytes(5, 1)}})).c_str()),
            NPK_SUCCESS);
  std::string src = Source("x", Bytes(5, 2));
  EXPECT_EQ(NpkAddFile(&package, src.c_str(), "NAME", 0), NPK_ERROR_DUPLICATE_NAME);
  EXPECT_EQ(npk_last_error, NPK_ERROR_DUPLICATE_NAME);
  EXPECT_EQ(NpkAddFile(&package, Source("empty", {}).c_str(), "e", 0), NPK_ERROR_EMPTY_SOURCE);
  EXPECT_EQ(NpkAddFile(&package, (dir / "nope").c_str(), "n", 0), NPK_ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(NpkAddFile(&package, nullptr, "n", 0), NPK_ERROR_BAD_PATH);
  ASSERT_EQ(NpkAddFile(&package, src.c_str(), nullptr, 0), NPK_SUCCESS);
  EXPECT_NE(NpkFind(&package, "src_x"), nullptr) << "named after the file";
  EXPECT_EQ(package.current, NpkFind(&package, "src_x"));
  EXPECT_EQ(package.header.entity_count, 2u);
  EXPECT_TRUE(package.modified);
}

TEST_F(NpkPackage, RemoveUnlinksOnlyEntitiesOfThePackage) {
  std::vector<RawEntity> entities = {{"a", Bytes(5, 1)}, {"b", Bytes(6, 2)}, {"c", Bytes(7, 3)}};
  std::string path = Package(BuildPackage(18, entities));
  NpkFile package, other;
  ASSERT_EQ(NpkOpen(&package, path.c_str()), NPK_SUCCESS);
  ASSERT_EQ(NpkOpen(&other, Package(BuildPackage(18, entities), "o.npk").c_str()), NPK_SUCCESS);
  EXPECT_EQ(NpkRemove(&package, NpkFind(&other, "b")), NPK_ERROR_ENTITY_NOT_IN_PACKAGE);
  ASSERT_EQ(NpkRemove(&package, NpkFind(&package, "b")), NPK_SUCCESS);
  EXPECT_EQ(package.current, NpkFind(&package, "c"));
  ASSERT_EQ(NpkRemove(&package, NpkFind(&package, "c")), NPK_SUCCESS);
  EXPECT_EQ(package.last, package.first);
  EXPECT_EQ(NpkFind(&package, "b"), nullptr);
  EXPECT_EQ(package.header.entity_count, 1u);
  ASSERT_EQ(NpkSave(&package, nullptr, true), NPK_SUCCESS);
  NpkClose(&package);
  ASSERT_EQ(NpkOpen(&package, path.c_str()), NPK_SUCCESS);
  EXPECT_EQ(package.header.entity_count, 1u);
  EXPECT_EQ(Decoded(&package, "a"), entities[0].content);
}

TEST_F(NpkPackage, SaveElsewhereHonoursOverwriteAndMovesThePackage) {
  std::vector<RawEntity> entities = {{"a", Bytes(500, 1), kBoth}};
  std::string path = Package(BuildPackage(18, entities));
  std::string target = dir / "copy.npk";
  ASSERT_TRUE(WriteFile(target, Bytes(3, 3)));
  NpkFile package;
  ASSERT_EQ(NpkOpen(&package, path.c_str()), NPK_SUCCESS);
  EXPECT_EQ(NpkSave(&package, target.c_str(), false), NPK_TARGET_EXISTS);
  ASSERT_EQ(NpkSave(&package, target.c_str(), true), NPK_SUCCESS);
  EXPECT_EQ(package.path, target);
  EXPECT_EQ(ReadFile(target).size(), ReadFile(path).size());
  EXPECT_EQ(Decoded(&package, "a"), entities[0].content);
}

TEST_F(NpkPackage, SaveToAnotherSpellingOfItsOwnPathIsInPlace) {
  std::vector<RawEntity> entities = {{"a", Bytes(5000, 1), kBoth}};
  std::string path = Package(BuildPackage(18, entities), "Same.npk");
  std::string other = path;
  for (char& c : other) c = c == '\\' ? '/' : c;
  other.replace(other.size() - 8, 8, "sAME.NPK");
  NpkFile package;
  ASSERT_EQ(NpkOpen(&package, path.c_str()), NPK_SUCCESS);
  ASSERT_EQ(NpkSave(&package, other.c_str(), true), NPK_SUCCESS);
  EXPECT_EQ(package.path, path);
  NpkClose(&package);
  ASSERT_EQ(NpkOpen(&package, path.c_str()), NPK_SUCCESS);
  EXPECT_EQ(Decoded(&package, "a"), entities[0].content);
}

TEST_F(NpkPackage, SaveNeedsAnOpenedPackageWithAPath) {
  NpkFile fresh;
  EXPECT_EQ(NpkSave(&fresh, nullptr, true), NPK_ERROR_NO_SAVE_PATH);
  EXPECT_EQ(NpkSave(&fresh, (dir / "t.npk").c_str(), true), NPK_ERROR_NOT_OPENED);
}

TEST_F(NpkPackage, LeftoverTemporaryFileDoesNotBlockSavingInPlace) {
  std::string path = Package(BuildPackage(18, {{"a", Bytes(50, 1)}}));
  ASSERT_TRUE(WriteFile(path + "_", Bytes(7, 9)));
  NpkFile package;
  ASSERT_EQ(NpkOpen(&package, path.c_str()), NPK_SUCCESS);
  ASSERT_EQ(NpkAddFile(&package, Source("b", Bytes(9, 2)).c_str(), "b", 0), NPK_SUCCESS);
  EXPECT_EQ(NpkSave(&package, nullptr, false), NPK_SUCCESS);
  EXPECT_FALSE(platform::FileExists(path + "_"));
}

// A failed save leaves the package describing its old file, still readable.
TEST_F(NpkPackage, FailedSaveKeepsTheOldPackageUsable) {
  std::vector<RawEntity> entities = {{"a", Bytes(500, 1), NPK_FLAG_ENCIPHERED}};
  std::string path = Package(BuildPackage(18, entities));
  auto before = ReadFile(path);
  NpkFile package;
  ASSERT_EQ(NpkOpen(&package, path.c_str()), NPK_SUCCESS);
  std::string src = Source("gone", Bytes(40, 2));
  ASSERT_EQ(NpkAddFile(&package, src.c_str(), "gone", kBoth), NPK_SUCCESS);
  NpkSetKey(&package, 9, 9, 9, 9);
  ASSERT_TRUE(platform::RemoveFile(src));
  EXPECT_EQ(NpkSave(&package, nullptr, true), NPK_ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(ReadFile(path), before);
  EXPECT_EQ(Decoded(&package, "a"), entities[0].content);
  EXPECT_TRUE(package.key_changed);
  EXPECT_EQ(package.key[0], kNpkDefaultKey[0]);
}

bool g_stop_writes = false;
int g_calls = 0;
bool StopOnWrite(int32_t direction, int32_t, const char*, int32_t, int32_t) {
  ++g_calls;
  return !(g_stop_writes && direction == 1);
}

TEST_F(NpkPackage, ProgressCallbackSeesPiecesAndCanStop) {
  std::vector<RawEntity> entities = {{"a", Bytes(1000, 1)}};
  std::string path = Package(BuildPackage(18, entities));
  NpkFile package;
  NpkSetProgress(&package, StopOnWrite, 100);
  g_calls = 0;
  g_stop_writes = false;
  ASSERT_EQ(NpkOpen(&package, path.c_str()), NPK_SUCCESS);
  EXPECT_GT(g_calls, 0);
  g_calls = 0;
  EXPECT_EQ(Decoded(&package, "a"), entities[0].content);
  EXPECT_GE(g_calls, 11) << "1000 bytes in pieces of 100";
  ASSERT_EQ(NpkAddFile(&package, Source("b", Bytes(10, 2)).c_str(), "b", 0), NPK_SUCCESS);
  g_stop_writes = true;
  EXPECT_EQ(NpkSave(&package, nullptr, true), NPK_ERROR_STOPPED);
  EXPECT_EQ(npk_last_error, NPK_ERROR_STOPPED);
  g_stop_writes = false;
  EXPECT_EQ(Decoded(&package, "a"), entities[0].content);
  EXPECT_EQ(NpkSave(&package, nullptr, true), NPK_SUCCESS);
}

TEST_F(NpkPackage, CreatedPackageIsEmptyAndOpens) {
  std::string path = dir / "new.npk";
  ASSERT_EQ(NpkCreatePackage(path.c_str(), false), NPK_SUCCESS);
  EXPECT_EQ(NpkCreatePackage(path.c_str(), false), NPK_TARGET_EXISTS);
  EXPECT_EQ(ReadFile(path).size(), 36u);
  NpkFile package;
  ASSERT_EQ(NpkOpen(&package, path.c_str()), NPK_SUCCESS);
  EXPECT_EQ(package.first, nullptr);
  EXPECT_EQ(package.header.version, 18u);
}

TEST_F(NpkPackage, FileWriteTimeIsSetAndReadBack) {
  std::string path = Source("t", Bytes(3, 1));
  platform::FileTime t = platform::UnixToFileTime(1170000000), back;
  ASSERT_EQ(NpkSetFileWriteTime(path.c_str(), t), NPK_SUCCESS);
  ASSERT_EQ(NpkGetFileWriteTime(path.c_str(), &back), NPK_SUCCESS);
  EXPECT_EQ(back, t);
  EXPECT_EQ(NpkGetFileWriteTime((dir / "none").c_str(), &back), NPK_ERROR_FILE_OPEN);
}

TEST_F(NpkPackage, FindIgnoresCaseAndUsesTheIndex) {
  std::vector<RawEntity> entities;
  for (int i = 0; i < 2000; ++i) entities.push_back({"Dir\\File" + std::to_string(i), Bytes(3, i)});
  NpkFile package;
  ASSERT_EQ(NpkOpen(&package, Package(BuildPackage(18, entities)).c_str()), NPK_SUCCESS);
  for (int i = 0; i < 2000; i += 97) {
    NpkFileEntity* e = NpkFind(&package, ("dir\\FILE" + std::to_string(i)).c_str());
    ASSERT_NE(e, nullptr) << i;
    EXPECT_EQ(e->name, "Dir\\File" + std::to_string(i));
    EXPECT_EQ(package.current, e);
  }
  EXPECT_EQ(NpkFind(&package, "Dir\\File2000"), nullptr);
}

}  // namespace

}  // namespace kivro
