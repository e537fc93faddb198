// Each SHA-256 backend (built into a test of its own) against the standard's
// test vectors and against libsodium's one-call hash, however the bytes are
// cut; a finished stream gives nothing more until it is reset.
#include "update/sha256_stream.h"

#include <gtest/gtest.h>
#include <sodium.h>

#include <algorithm>
#include <random>
#include <string>

namespace kivro {

namespace {

std::string Hex(const uint8_t* data, size_t size) {
  static const char kHex[] = "0123456789abcdef";
  std::string text;
  for (size_t i = 0; i < size; ++i) {
    text += kHex[data[i] >> 4];
    text += kHex[data[i] & 15];
  }
  return text;
}

std::string Digest(Sha256Stream& stream) {
  uint8_t out[32];
  EXPECT_TRUE(stream.Final(out));
  return Hex(out, 32);
}

TEST(Sha256Stream, IsTheBackendThisProgramWasBuiltWith) {
  EXPECT_STREQ(Sha256Stream::Backend(), KIVRO_SHA256_EXPECTED);
}

TEST(Sha256Stream, StandardVectorsFedWholeOrInPieces) {
  Sha256Stream s;
  EXPECT_EQ(Digest(s), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
  s.Reset();
  s.Update("ab", 2);
  s.Update("", 0);
  s.Update("c", 1);
  EXPECT_EQ(s.Size(), 3u);
  EXPECT_EQ(Digest(s), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
  // Two blocks: the padding falls into a block of its own.
  const std::string two = "abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq";
  s.Reset();
  s.Update(two.data(), two.size());
  EXPECT_EQ(Digest(s), "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1");
  // A million 'a', in pieces that straddle every block boundary.
  const std::string a(1000, 'a');
  s.Reset();
  for (size_t fed = 0, step = 1; fed < 1000000; step = step % 997 + 1) {
    size_t n = std::min(step, 1000000 - fed);
    s.Update(a.data(), n);
    fed += n;
  }
  EXPECT_EQ(s.Size(), 1000000u);
  EXPECT_EQ(Digest(s), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0");
}

TEST(Sha256Stream, LargeRandomInputMatchesLibsodiumsOneCallHash) {
  std::mt19937 random(11);
  std::string data((5 << 20) + 77, '\0');
  for (char& c : data) c = static_cast<char>(random());
  uint8_t expected[32];
  crypto_hash_sha256(expected, reinterpret_cast<const uint8_t*>(data.data()), data.size());
  Sha256Stream s;
  for (size_t at = 0, step = 63; at < data.size(); step = step * 5 % 1000003 + 1) {
    size_t n = std::min(step, data.size() - at);
    s.Update(data.data() + at, n);
    at += n;
  }
  EXPECT_EQ(Digest(s), Hex(expected, 32));
}

TEST(Sha256Stream, AFinishedStreamGivesNoSecondDigestUntilReset) {
  Sha256Stream s;
  s.Update("abc", 3);
  EXPECT_EQ(Digest(s), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
  uint8_t out[32];
  std::fill(out, out + 32, 0xAA);
  s.Update("d", 1);
  EXPECT_FALSE(s.Final(out));
  EXPECT_EQ(Hex(out, 32), std::string(64, '0'));
  s.Reset();
  EXPECT_EQ(s.Size(), 0u);
  s.Update("abc", 3);
  EXPECT_EQ(Digest(s), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
}

}  // namespace

}  // namespace kivro
