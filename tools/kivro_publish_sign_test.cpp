// Signed publishing: the manifest names every file written with its real
// SHA-256 and size, the real minisign tool accepts the signature, the same
// publication time gives the same bytes, and a key that cannot sign leaves
// the server tree untouched.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>

#include "patch/npk/npk.h"
#include "patch/patch_info_test_support.h"
#include "tools/kivro_publish_writer.h"
#include "update/release_manifest.h"

namespace kivro {

namespace fs = std::filesystem;

namespace patch_test {
namespace {

constexpr int64_t kT = 1710000000;

int Sh(const std::string& command) { return std::system((command + " 2>/dev/null").c_str()); }

class SignedPublishTest : public PatchTest {
 protected:
  void SetUp() override {
    PatchTest::SetUp();
    if (Sh("minisign -v") != 0) GTEST_SKIP() << "minisign is not installed";
    release_ = dir_ + "/release";
    WriteFile(release_ + "/Gobanvista.exe", "MZ" + std::string(500, 'x'), kT);
    WriteFile(release_ + "/data/바둑판.map", "19x19", kT + 61);
    MakePackage(release_ + "/data/sound.npk", {{"voice\\hi.wav", std::string(900, 'h'), 0, kT}},
                nullptr, kT + 183);
    ASSERT_EQ(Sh("cd " + dir_ + " && minisign -G -W -p k.pub -s k.sec >/dev/null"), 0);
  }
  bool Sign(const std::string& server, const std::string& key, PublishSummary* summary,
            std::string* error) {
    PublishOptions options;
    options.release_dir = Win(release_);
    options.server_dir = Win(server);
    options.sign_key_file = Win(key);
    options.published = 1765000000;
    options.list_patch_version = "3";
    options.peer_source = "http://127.0.0.1:1";
    return kivro::Publish(options, summary, error);
  }
  std::string release_;
};

TEST_F(SignedPublishTest, ManifestNamesEveryFileWrittenAndTheToolAcceptsItsSignature) {
  PublishSummary summary;
  std::string error;
  ASSERT_TRUE(Sign(dir_ + "/server", dir_ + "/k.sec", &summary, &error)) << error;
  const std::string manifest_file = dir_ + "/server/vrl/newvrl/gobanvista.vrl.manifest";
  ReleaseManifest manifest;
  ASSERT_TRUE(ParseReleaseManifest(ReadFile(manifest_file), &manifest, &error)) << error;
  EXPECT_EQ(manifest.published, 1765000000);

  // Every file of the tree but the manifest and its signature is named,
  // with the hash and size that sha256sum and the file system see.
  size_t files = 0;
  for (const auto& e : fs::recursive_directory_iterator(dir_ + "/server")) {
    if (!e.is_regular_file()) continue;
    std::string relative = e.path().string().substr(dir_.size() + 8);
    if (relative.find(".manifest") != std::string::npos) continue;
    ++files;
    const ManifestEntry* entry = manifest.Find(relative);
    ASSERT_NE(entry, nullptr) << relative;
    EXPECT_EQ(entry->size, fs::file_size(e.path())) << relative;
    std::string out = dir_ + "/sum";
    ASSERT_EQ(Sh("sha256sum '" + e.path().string() + "' > " + out), 0);
    EXPECT_EQ(ReadFile(out).substr(0, 64), HexText(entry->sha256, 32)) << relative;
  }
  EXPECT_EQ(files, manifest.entries.size());
  EXPECT_NE(manifest.Find("vrl/newvrl/gobanvista.vrl"), nullptr);
  EXPECT_NE(manifest.Find("vrl/newvrl/gobanvista.pul"), nullptr);
  EXPECT_NE(manifest.Find("dist/gobanvista/바둑판.map.zip"), nullptr);
  EXPECT_NE(manifest.Find("dist/gobanvista/__npk_entity/data/sound.npk_npk/voice^hi.wav.zip"), nullptr);
  EXPECT_NE(manifest.Find("dist/gobanvista/Gobanvista.exe.zip.swarmlet"), nullptr);

  std::string shown = dir_ + "/shown";
  ASSERT_EQ(Sh("minisign -V -p " + dir_ + "/k.pub -m " + manifest_file + " > " + shown), 0);
  EXPECT_NE(ReadFile(shown).find("timestamp:1765000000\tfile:gobanvista.vrl.manifest\thashed"),
            std::string::npos)
      << ReadFile(shown);
}

TEST_F(SignedPublishTest, TheSamePublicationGivesTheSameBytes) {
  PublishSummary a, b;
  std::string error;
  ASSERT_TRUE(Sign(dir_ + "/one", dir_ + "/k.sec", &a, &error)) << error;
  ASSERT_TRUE(Sign(dir_ + "/two", dir_ + "/k.sec", &b, &error)) << error;
  for (const char* name : {"gobanvista.vrl.manifest", "gobanvista.vrl.manifest.minisig"})
    EXPECT_EQ(ReadFile(dir_ + "/one/vrl/newvrl/" + name), ReadFile(dir_ + "/two/vrl/newvrl/" + name))
        << name;
}

TEST_F(SignedPublishTest, AKeyThatCannotSignLeavesTheTreeUntouched) {
  std::string key = ReadFile(dir_ + "/k.sec");
  key.replace(key.find("RWQAAEIy"), 8, "RWRTY0Iy");  // marked as password-encrypted
  WriteFile(dir_ + "/encrypted.sec", key);
  PublishSummary summary;
  std::string error;
  EXPECT_FALSE(Sign(dir_ + "/server", dir_ + "/encrypted.sec", &summary, &error));
  EXPECT_NE(error.find("-W"), std::string::npos) << error;
  EXPECT_FALSE(Sign(dir_ + "/server", dir_ + "/k.pub", &summary, &error));
  EXPECT_FALSE(Sign(dir_ + "/server", dir_ + "/missing.sec", &summary, &error));
  EXPECT_FALSE(fs::exists(dir_ + "/server"));
}

}  // namespace
}  // namespace patch_test

}  // namespace kivro
