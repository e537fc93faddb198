// SHA-256 of a stream of bytes, computed on a thread of its own so that a
// download hashes what it receives while it goes on receiving and writing.
// Update copies the bytes and returns at once unless `kMaxPending` bytes
// are still waiting, which bounds memory and keeps the hash close behind
// the download. Whenever the feeder has to wait (Final, Reset, a full
// queue) it hashes queued bytes itself rather than wait for the worker to
// be scheduled; one chunk is hashed at a time, in order, by either thread.
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

#include "update/sha256_stream.h"

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
  // Waits for every byte fed so far and gives the digest of them all;
  // false when the hash library failed (see Sha256Stream::Final).
  [[nodiscard]] bool Final(uint8_t out[32]);
  // Bytes fed since Reset.
  uint64_t Size() const { return fed_; }

 private:
  void Run();
  // Hashes the oldest queued chunk (the lock is let go meanwhile).
  void HashFront(std::unique_lock<std::mutex>& lock);
  // Until `done()`: hashes queued chunks, or waits while the other thread
  // hashes one.
  template <typename Done>
  void HelpUntil(std::unique_lock<std::mutex>& lock, Done done);
  void WaitIdle(std::unique_lock<std::mutex>& lock);

  std::mutex mutex_;
  std::condition_variable wake_;     // the worker: work arrived or stop
  std::condition_variable drained_;  // the feeder: room or idle
  std::deque<std::vector<uint8_t>> queue_;
  size_t pending_ = 0;    // bytes queued or being hashed
  bool hashing_ = false;  // a thread is inside stream_.Update
  bool stop_ = false;
  std::thread worker_;
  Sha256Stream stream_;  // touched only by the thread that set hashing_, or with none set
  uint64_t fed_ = 0;
};

}  // namespace kivro
