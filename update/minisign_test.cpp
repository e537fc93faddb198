// Our reading and writing of minisign keys and signatures, checked against
// the real `minisign` tool in both directions.
#include "update/minisign.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace kivro {

namespace {

namespace fs = std::filesystem;

std::string Read(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

void Write(const fs::path& p, const std::string& text) {
  std::ofstream(p, std::ios::binary) << text;
}

int Sh(const std::string& command) { return std::system((command + " >/dev/null 2>&1").c_str()); }

class MinisignTool : public ::testing::Test {
 protected:
  void SetUp() override {
    if (Sh("minisign -v") != 0) GTEST_SKIP() << "minisign is not installed";
    dir_ = fs::temp_directory_path() / ("kivro-minisign-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "-" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_);
    ASSERT_EQ(MakeKey("a"), 0);
    data_ = "kivro-manifest 1\npublished 1700000000\n";
    Write(dir_ / "data", data_);
  }
  void TearDown() override { fs::remove_all(dir_); }
  int MakeKey(const std::string& name) {
    return Sh("cd " + dir_.string() + " && minisign -G -W -p " + name + ".pub -s " + name + ".sec");
  }
  MinisignSecretKey Secret(const std::string& name) {
    MinisignSecretKey key;
    std::string error;
    EXPECT_TRUE(ParseMinisignSecretKey(Read(dir_ / (name + ".sec")), &key, &error)) << error;
    return key;
  }
  MinisignPublicKey Public(const std::string& name) {
    MinisignPublicKey key;
    std::string error;
    EXPECT_TRUE(ParseMinisignPublicKey(Read(dir_ / (name + ".pub")), &key, &error)) << error;
    return key;
  }
  SignatureCheck Check(const MinisignPublicKey& key, const std::string& sig_file,
                       const std::string& data) {
    MinisignSignature sig;
    std::string error;
    if (!ParseMinisignSignature(Read(dir_ / sig_file), &sig, &error)) {
      ADD_FAILURE() << error;
      return SignatureCheck::kBad;
    }
    return VerifyMinisign(key, sig, data.data(), data.size());
  }
  int ToolVerify(const std::string& sig_file) {
    return Sh("minisign -V -p " + (dir_ / "a.pub").string() + " -m " + (dir_ / "data").string() +
               " -x " + (dir_ / sig_file).string());
  }
  fs::path dir_;
  std::string data_;
};

TEST_F(MinisignTool, KeysOfTheToolReadAsOneKeyPair) {
  MinisignSecretKey secret = Secret("a");
  MinisignPublicKey pub = Public("a");
  MinisignPublicKey half = MinisignPublicHalf(secret);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(half.key), 32),
            std::string(reinterpret_cast<char*>(pub.key), 32));
  // The tool names the key id in the public key's comment, as we name it.
  std::string pub_file = Read(dir_ / "a.pub");
  EXPECT_EQ(pub_file.find("untrusted comment: minisign public key " + MinisignKeyIdText(pub.key_id) + "\n"),
            0u) << pub_file;
  // The bare base64 line, as a build setting gives it, is the same key.
  std::string line = pub_file.substr(pub_file.find('\n') + 1);
  MinisignPublicKey bare;
  std::string error;
  ASSERT_TRUE(ParseMinisignPublicKey("  " + line, &bare, &error)) << error;
  EXPECT_EQ(MinisignPublicKeyLine(bare) + "\n", line);
}

TEST_F(MinisignTool, OurSignatureVerifiesWithTheToolAndAChangedByteFails) {
  std::string sig = SignMinisign(Secret("a"), data_.data(), data_.size(),
                                 "timestamp:1700000000\tfile:gobanvista.vrl.manifest\thashed");
  ASSERT_FALSE(sig.empty());
  Write(dir_ / "ours.minisig", sig);
  EXPECT_EQ(ToolVerify("ours.minisig"), 0);
  EXPECT_EQ(Check(Public("a"), "ours.minisig", data_), SignatureCheck::kGood);

  Write(dir_ / "data", data_.substr(0, 20) + "X" + data_.substr(21));
  EXPECT_NE(ToolVerify("ours.minisig"), 0);
  Write(dir_ / "data", data_);
  // A changed trusted comment breaks the global signature, for both.
  std::string forged = sig;
  forged.replace(forged.find("1700000000"), 10, "1800000000");
  Write(dir_ / "forged.minisig", forged);
  EXPECT_NE(ToolVerify("forged.minisig"), 0);
  EXPECT_EQ(Check(Public("a"), "forged.minisig", data_), SignatureCheck::kBad);
}

TEST_F(MinisignTool, TheToolsSignaturesVerifyWithOursHashedAndLegacy) {
  ASSERT_EQ(Sh("cd " + dir_.string() + " && minisign -S -s a.sec -m data -x hashed.minisig -t 'timestamp:5\tfile:x\thashed'"), 0);
  ASSERT_EQ(Sh("cd " + dir_.string() + " && minisign -S -l -s a.sec -m data -x legacy.minisig"), 0);
  EXPECT_EQ(Check(Public("a"), "hashed.minisig", data_), SignatureCheck::kGood);
  EXPECT_EQ(Check(Public("a"), "legacy.minisig", data_), SignatureCheck::kGood);
  MinisignSignature sig;
  std::string error;
  ASSERT_TRUE(ParseMinisignSignature(Read(dir_ / "hashed.minisig"), &sig, &error));
  EXPECT_EQ(sig.trusted_comment, "timestamp:5\tfile:x\thashed");
  EXPECT_TRUE(sig.hashed);
  ASSERT_TRUE(ParseMinisignSignature(Read(dir_ / "legacy.minisig"), &sig, &error));
  EXPECT_FALSE(sig.hashed);

  std::string changed = data_;
  changed.back() = ' ';
  EXPECT_EQ(Check(Public("a"), "hashed.minisig", changed), SignatureCheck::kBad);
  EXPECT_EQ(Check(Public("a"), "legacy.minisig", changed), SignatureCheck::kBad);
}

TEST_F(MinisignTool, AnotherKeyIsAWrongKeyAndABorrowedKeyIdIsBad) {
  ASSERT_EQ(MakeKey("b"), 0);
  ASSERT_EQ(Sh("cd " + dir_.string() + " && minisign -S -s b.sec -m data -x b.minisig"), 0);
  EXPECT_EQ(Check(Public("a"), "b.minisig", data_), SignatureCheck::kWrongKey);
  // Key b posing as key a: the id matches, the signature does not.
  MinisignSecretKey b = Secret("b");
  MinisignPublicKey a = Public("a");
  std::memcpy(b.key_id, a.key_id, 8);
  Write(dir_ / "posing.minisig", SignMinisign(b, data_.data(), data_.size(), "timestamp:1"));
  EXPECT_EQ(Check(a, "posing.minisig", data_), SignatureCheck::kBad);
  EXPECT_NE(ToolVerify("posing.minisig"), 0);
}

TEST_F(MinisignTool, EncryptedOrDamagedSecretKeysAreRefused) {
  std::string file = Read(dir_ / "a.sec");
  std::string line = file.substr(file.find('\n') + 1);
  line.erase(line.find_last_not_of("\r\n") + 1);
  // "Ed" 0 0 "B2" is base64 "RWQAAEIy"; "Ed" "Sc" "B2" (password-encrypted) is "RWRTY0Iy".
  ASSERT_EQ(line.substr(0, 8), "RWQAAEIy");
  MinisignSecretKey key;
  std::string error;
  std::string encrypted = file;
  encrypted.replace(encrypted.find("RWQAAEIy"), 8, "RWRTY0Iy");
  EXPECT_FALSE(ParseMinisignSecretKey(encrypted, &key, &error));
  EXPECT_NE(error.find("minisign -G -W"), std::string::npos) << error;
  EXPECT_NE(error.find("minisign -S"), std::string::npos) << error;

  // A flipped bit in the key itself: its halves no longer belong together.
  std::string damaged = file;
  size_t at = file.find('\n') + 1 + 100;
  damaged[at] = damaged[at] == 'A' ? 'B' : 'A';
  EXPECT_FALSE(ParseMinisignSecretKey(damaged, &key, &error));
  EXPECT_FALSE(ParseMinisignSecretKey(Read(dir_ / "a.pub"), &key, &error));
}

// Before, an id with a zero top nibble was written with a leading zero the
// tool does not print (one key in sixteen), so it was not found in its output.
TEST(MinisignText, KeyIdsAreWrittenAsTheToolWritesThem) {
  const uint8_t leading_zero[8] = {0x65, 0x91, 0x18, 0xEB, 0x31, 0xB9, 0xE6, 0x08};
  EXPECT_EQ(MinisignKeyIdText(leading_zero), "8E6B931EB189165");
  const uint8_t full[8] = {0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF};
  EXPECT_EQ(MinisignKeyIdText(full), "EFCDAB8967452301");
  const uint8_t zero[8] = {};
  EXPECT_EQ(MinisignKeyIdText(zero), "0");
}

TEST(MinisignText, MalformedKeysAndSignaturesAreRefused) {
  MinisignPublicKey key;
  MinisignSignature sig;
  std::string error;
  EXPECT_FALSE(ParseMinisignPublicKey("", &key, &error));
  EXPECT_FALSE(ParseMinisignPublicKey("not base64!", &key, &error));
  EXPECT_FALSE(ParseMinisignPublicKey("RWQAAEIy", &key, &error));  // too short
  // 42 bytes but another algorithm ("Xd").
  EXPECT_FALSE(ParseMinisignPublicKey("WGQAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAA", &key, &error));
  EXPECT_FALSE(ParseMinisignSignature("untrusted comment: x\nAAAA\n", &sig, &error));
  EXPECT_FALSE(ParseMinisignSignature(
      "untrusted comment: x\nRUQ=\ntrusted comment: t\nAAAA\n", &sig, &error));
}

}  // namespace

}  // namespace kivro
