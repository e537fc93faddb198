#include "update/sha256_pipe.h"

#include "update/release_manifest.h"

namespace kivro {

Sha256Pipe::~Sha256Pipe() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stop_ = true;
  }
  wake_.notify_all();
  if (worker_.joinable()) worker_.join();
}

void Sha256Pipe::HashFront(std::unique_lock<std::mutex>& lock) {
  std::vector<uint8_t> chunk = std::move(queue_.front());
  queue_.pop_front();
  hashing_ = true;
  lock.unlock();
  stream_.Update(chunk.data(), chunk.size());
  lock.lock();
  hashing_ = false;
  pending_ -= chunk.size();
  drained_.notify_all();
  if (!queue_.empty()) wake_.notify_one();
}

// The feeder does not sit waiting for a worker that a busy machine has not
// yet scheduled: it hashes the queued chunks itself, and waits only while
// the worker is inside one.
template <typename Done>
void Sha256Pipe::HelpUntil(std::unique_lock<std::mutex>& lock, Done done) {
  while (!done()) {
    if (hashing_ || queue_.empty()) {
      drained_.wait(lock);
    } else {
      HashFront(lock);
    }
  }
}

void Sha256Pipe::WaitIdle(std::unique_lock<std::mutex>& lock) {
  HelpUntil(lock, [this] { return pending_ == 0; });
}

void Sha256Pipe::Reset() {
  std::unique_lock<std::mutex> lock(mutex_);
  for (const auto& chunk : queue_) pending_ -= chunk.size();
  queue_.clear();
  WaitIdle(lock);
  stream_.Reset();
  fed_ = 0;
}

void Sha256Pipe::Update(const void* data, size_t size) {
  if (size == 0) return;
  const uint8_t* bytes = static_cast<const uint8_t*>(data);
  std::unique_lock<std::mutex> lock(mutex_);
  if (!worker_.joinable()) worker_ = std::thread([this] { Run(); });
  HelpUntil(lock, [this] { return pending_ < kMaxPending; });
  queue_.emplace_back(bytes, bytes + size);
  pending_ += size;
  fed_ += size;
  const bool idle = !hashing_;
  lock.unlock();
  if (idle) wake_.notify_one();
}

bool Sha256Pipe::HashFilePrefix(const std::string& path, uint64_t limit) {
  std::unique_lock<std::mutex> lock(mutex_);
  WaitIdle(lock);
  uint64_t before = stream_.Size();
  bool read = kivro::HashFilePrefix(path, limit, &stream_);
  fed_ += stream_.Size() - before;
  return read;
}

bool Sha256Pipe::Final(uint8_t out[32]) {
  std::unique_lock<std::mutex> lock(mutex_);
  WaitIdle(lock);
  return stream_.Final(out);
}

void Sha256Pipe::Run() {
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    wake_.wait(lock, [this] { return stop_ || (!queue_.empty() && !hashing_); });
    if (stop_) return;
    HashFront(lock);
  }
}

}  // namespace kivro
