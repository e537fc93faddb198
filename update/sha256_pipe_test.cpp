// The hash computed beside a download must be the hash of exactly the bytes
// fed, in order, however they were cut, started over or resumed.
#include "update/sha256_pipe.h"

#include <gtest/gtest.h>
#include <sodium.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>

namespace kivro {

namespace {

std::string Digest(const std::string& bytes) {
  uint8_t out[32];
  crypto_hash_sha256(out, reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
  return std::string(reinterpret_cast<char*>(out), 32);
}

std::string Final(Sha256Pipe& pipe) {
  uint8_t out[32];
  EXPECT_TRUE(pipe.Final(out));
  return std::string(reinterpret_cast<char*>(out), 32);
}

std::string RandomBytes(size_t n) {
  std::mt19937 random(7);
  std::string s(n, '\0');
  for (char& c : s) c = static_cast<char>(random());
  return s;
}

TEST(Sha256Pipe, OddlyCutFeedsPastTheBackpressureLimitHashLikeOneCall) {
  std::string data = RandomBytes(Sha256Pipe::kMaxPending * 2 + 12345);
  Sha256Pipe pipe;
  size_t at = 0, step = 1;
  while (at < data.size()) {
    size_t n = std::min(step, data.size() - at);
    pipe.Update(data.data() + at, n);
    at += n;
    step = step * 7 % 300007 + 1;
  }
  EXPECT_EQ(pipe.Size(), data.size());
  EXPECT_EQ(Final(pipe), Digest(data));
}

// Many short files one after the other, the way a download of small
// archives feeds it: each Final races the worker for the last chunks, and
// whichever thread hashes them, the order must hold.
TEST(Sha256Pipe, ShortFilesInARowEachHashInOrderWhoeverHashesTheirLastChunks) {
  std::string data = RandomBytes(1 << 20);
  std::mt19937 random(3);
  Sha256Pipe pipe;
  for (int file = 0; file < 300; ++file) {
    size_t size = random() % (data.size() / 4);
    size_t start = random() % (data.size() - size);
    pipe.Reset();
    for (size_t at = 0; at < size;) {
      size_t n = std::min<size_t>(1 + random() % 70000, size - at);
      pipe.Update(data.data() + start + at, n);
      at += n;
    }
    ASSERT_EQ(Final(pipe), Digest(data.substr(start, size))) << "file " << file;
  }
}

TEST(Sha256Pipe, ResetStartsOverAndAFilePrefixComesBeforeTheStream) {
  std::string data = RandomBytes(3 << 20);
  Sha256Pipe pipe;
  pipe.Update(data.data(), data.size());  // dropped by the reset, hashed or not
  pipe.Reset();
  EXPECT_EQ(pipe.Size(), 0u);
  pipe.Update("abc", 3);
  EXPECT_EQ(Final(pipe), Digest("abc"));

  // A resumed download: its first megabyte is on disk, the rest arrives.
  std::string path = (std::filesystem::temp_directory_path() /
                      ("kivro-sha256-pipe-" + std::to_string(std::random_device{}()) + ".bin"))
                         .string();
  std::ofstream(path, std::ios::binary).write(data.data(), static_cast<std::streamsize>(data.size()));
  pipe.Reset();
  ASSERT_TRUE(pipe.HashFilePrefix(path, 1 << 20));
  pipe.Update(data.data() + (1 << 20), data.size() - (1 << 20));
  EXPECT_EQ(pipe.Size(), data.size());
  EXPECT_EQ(Final(pipe), Digest(data));
  pipe.Reset();
  EXPECT_FALSE(pipe.HashFilePrefix(path, data.size() + 1));  // the file is shorter
  std::remove(path.c_str());
}

}  // namespace

}  // namespace kivro
