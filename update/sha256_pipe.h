// SHA-256 of a stream of bytes, computed on a thread of its own so that a
// download hashes what it receives while it goes on receiving and writing.
// Update copies the bytes and returns at once unless `kMaxPending` bytes
// are still waiting, which bounds memory and keeps the hash close behind
// the download.
//
// Thread safety: one feeding thread at a time (Reset, Update, Final and
// HashFilePrefix on the same thread); the worker thread is its own.
#pragma once
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "update/release_manifest.h"

namespace kivro {

class Sha256Pipe {
 public:
  static constexpr size_t kMaxPending = 8 << 20;

  Sha256Pipe() = default;
  ~Sha256Pipe();
  Sha256Pipe(const Sha256Pipe&) = delete;
  Sha256Pipe& operator=(const Sha256Pipe&) = delete;

  // Starts a new hash (after the bytes still pending are dropped).
  void Reset();
  void Update(const void* data, size_t size);
  // Hashes the first `limit` bytes of a file, after what was fed before;
  // false when it cannot be read that far.
  bool HashFilePrefix(const std::string& path, uint64_t limit);
  // Waits for every byte fed so far and gives the digest of them all.
  void Final(uint8_t out[32]);
  // Bytes fed since Reset.
  uint64_t Size() const { return fed_; }

 private:
  void Run();
  void WaitIdle(std::unique_lock<std::mutex>& lock);

  std::mutex mutex_;
  std::condition_variable wake_;     // the worker: work arrived or stop
  std::condition_variable drained_;  // the feeder: room or idle
  std::deque<std::vector<uint8_t>> queue_;
  size_t pending_ = 0;  // bytes queued or being hashed
  bool stop_ = false;
  std::thread worker_;
  Sha256Stream stream_;  // touched by the worker, or by the feeder when idle
  uint64_t fed_ = 0;
};

}  // namespace kivro
