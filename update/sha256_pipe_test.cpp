// The hash computed beside a download must be the hash of exactly the bytes
// fed, in order, however they were cut, started over or resumed.
#include "update/sha256_pipe.h"

#include <gtest/gtest.h>
#include <sodium.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <vector>
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


// Sealed streams: each seal gets the digest of exactly its own bytes, in
// order, while the feeder goes on with the next stream at once; a reset
// drops only the stream it is in, never one already sealed.
struct Sealed {
  std::mutex mutex;
  std::vector<std::string> digests;
  std::vector<uint64_t> sizes;
  Sha256Pipe::SealFn Catcher() {
    return [this](bool hashed, const uint8_t digest[32], uint64_t size) {
      EXPECT_TRUE(hashed);
      std::lock_guard<std::mutex> lock(mutex);
      digests.emplace_back(reinterpret_cast<const char*>(digest), 32);
      sizes.push_back(size);
    };
  }
};

TEST(Sha256Pipe, SealsDeliverEachStreamsDigestInOrderWithoutWaiting) {
  std::string data = RandomBytes(Sha256Pipe::kMaxPending + (3 << 20));
  std::mt19937 random(5);
  std::vector<std::string> expected;
  Sealed sealed;
  {
    Sha256Pipe pipe;
    for (int stream = 0; stream < 40; ++stream) {
      size_t size = stream == 7 ? 0 : random() % (data.size() / 8);  // one empty stream
      if (stream == 3) size = data.size() - Sha256Pipe::kMaxPending / 2;  // past the limit
      size_t start = random() % (data.size() - size + 1);
      // A false start that the engine gives up: dropped by the reset,
      // whether or not it was hashed yet.
      if (stream % 5 == 1) {
        pipe.Update(data.data(), 100000);
        pipe.Reset();
      }
      for (size_t off = 0; off < size;) {
        size_t n = std::min<size_t>(1 + random() % 90000, size - off);
        pipe.Update(data.data() + start + off, n);
        off += n;
      }
      EXPECT_EQ(pipe.Size(), size);
      pipe.Seal(sealed.Catcher());
      EXPECT_EQ(pipe.Size(), 0u);
      expected.push_back(Digest(data.substr(start, size)));
    }
    // After the seals the pipe still hashes a stream of its own.
    pipe.Update("abc", 3);
    EXPECT_EQ(Final(pipe), Digest("abc"));
  }
  std::lock_guard<std::mutex> lock(sealed.mutex);
  ASSERT_EQ(sealed.digests.size(), expected.size());
  for (size_t i = 0; i < expected.size(); ++i) EXPECT_EQ(sealed.digests[i], expected[i]) << "stream " << i;
  EXPECT_EQ(sealed.sizes[7], 0u);
}

// A seal still queued behind megabytes that are being hashed: a reset
// right after it drops the new stream only, and the pipe going away
// delivers what is still queued.
TEST(Sha256Pipe, ASealStillQueuedSurvivesAResetAndThePipesEnd) {
  std::string data = RandomBytes(Sha256Pipe::kMaxPending - 1);
  Sealed sealed;
  {
    Sha256Pipe pipe;
    pipe.Update(data.data(), data.size());
    pipe.Seal(sealed.Catcher());
    pipe.Update(data.data(), 100000);
    pipe.Reset();
    pipe.Update("abc", 3);
    pipe.Seal(sealed.Catcher());
    pipe.Update(data.data(), 10);  // a stream left open is simply dropped
  }
  std::lock_guard<std::mutex> lock(sealed.mutex);
  ASSERT_EQ(sealed.digests.size(), 2u);
  EXPECT_EQ(sealed.digests[0], Digest(data));
  EXPECT_EQ(sealed.sizes[0], data.size());
  EXPECT_EQ(sealed.digests[1], Digest("abc"));
  EXPECT_EQ(sealed.sizes[1], 3u);
}

}  // namespace

}  // namespace kivro
