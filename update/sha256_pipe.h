// SHA-256 of a stream of bytes, computed on a thread of its own so that a
// download hashes what it receives while it goes on receiving and writing.
// Update copies the bytes and returns at once unless `kMaxPending` bytes
// are still waiting, which bounds memory and keeps the hash close behind
// the download. The worker is woken in batches (`kWakeBytes`, or a seal). Whenever the feeder has to wait (Final, HashFilePrefix, a
// full queue) it hashes queued bytes itself rather than wait for the worker
// to be scheduled; one queued step is taken at a time, in order, by either
// thread.
//
// Seal ends one stream without waiting: the digest of the bytes fed so far
// goes to a callback once they are hashed, and the bytes fed next start a
// new hash at once. A download of many files thus goes on with the next
// file while the last one's hash is still being finished.
//
// Thread safety: one feeding thread at a time (Reset, Update, Seal, Final
// and HashFilePrefix on the same thread); the worker thread is its own. A
// seal's callback runs on either of them, without the pipe's lock held.
#pragma once
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "update/sha256_stream.h"

namespace kivro {

class Sha256Pipe {
 public:
  static constexpr size_t kMaxPending = 8 << 20;
  // Queued bytes that wake a sleeping worker before the stream is sealed.
  static constexpr size_t kWakeBytes = 1 << 20;
  // `hashed` is false when the hash library failed (see Sha256Stream::Final);
  // `size` is how many bytes the digest covers.
  using SealFn = std::function<void(bool hashed, const uint8_t digest[32], uint64_t size)>;

  Sha256Pipe() = default;
  // Delivers every seal still queued before it ends.
  ~Sha256Pipe();
  Sha256Pipe(const Sha256Pipe&) = delete;
  Sha256Pipe& operator=(const Sha256Pipe&) = delete;

  // Starts a new hash: bytes fed since the last Seal are dropped (hashed or
  // not); earlier seals are still delivered.
  void Reset();
  void Update(const void* data, size_t size);
  // Ends the current hash: `done` gets the digest of every byte fed since
  // the last Reset or Seal once they are hashed; returns at once.
  void Seal(SealFn done);
  // Hashes the first `limit` bytes of a file, after what was fed before;
  // false when it cannot be read that far.
  bool HashFilePrefix(const std::string& path, uint64_t limit);
  // Waits for every byte fed so far and gives the digest of them all;
  // false when the hash library failed (see Sha256Stream::Final).
  [[nodiscard]] bool Final(uint8_t out[32]);
  // Bytes fed since Reset or Seal.
  uint64_t Size() const { return fed_; }

 private:
  // One queued step: bytes to hash, a seal, or a restart.
  struct Step {
    std::vector<uint8_t> bytes;
    SealFn seal;
    bool restart = false;
  };

  void Run();
  // Takes the oldest queued step (the lock is let go meanwhile).
  void TakeFront(std::unique_lock<std::mutex>& lock);
  // Until `done()`: takes queued steps, or waits while the other thread
  // takes one.
  template <typename Done>
  void HelpUntil(std::unique_lock<std::mutex>& lock, Done done);
  void WaitIdle(std::unique_lock<std::mutex>& lock);
  void Push(Step step, size_t bytes);

  std::mutex mutex_;
  std::condition_variable wake_;     // the worker: work arrived or stop
  std::condition_variable drained_;  // the feeder: room or idle
  std::deque<Step> queue_;
  size_t pending_ = 0;    // bytes queued or being hashed
  bool hashing_ = false;  // a thread is taking a step
  bool stop_ = false;
  std::thread worker_;
  Sha256Stream stream_;  // touched only by the thread that set hashing_, or with none set
  uint64_t fed_ = 0;
};

}  // namespace kivro
