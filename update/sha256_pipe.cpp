#include "update/sha256_pipe.h"

#include "update/release_manifest.h"

namespace kivro {

Sha256Pipe::~Sha256Pipe() {
  {
    // A seal still queued is somebody's verdict: it is delivered, never
    // dropped with the pipe.
    std::unique_lock<std::mutex> lock(mutex_);
    WaitIdle(lock);
    stop_ = true;
  }
  wake_.notify_all();
  if (worker_.joinable()) worker_.join();
}

void Sha256Pipe::TakeFront(std::unique_lock<std::mutex>& lock) {
  Step step = std::move(queue_.front());
  queue_.pop_front();
  hashing_ = true;
  lock.unlock();
  if (step.restart) {
    stream_.Reset();
  } else if (step.seal) {
    uint8_t digest[32];
    const uint64_t size = stream_.Size();
    const bool hashed = stream_.Final(digest);
    stream_.Reset();
    step.seal(hashed, digest, size);
  } else {
    stream_.Update(step.bytes.data(), step.bytes.size());
  }
  lock.lock();
  hashing_ = false;
  pending_ -= step.bytes.size();
  drained_.notify_all();
  if (!queue_.empty()) wake_.notify_one();
}

// The feeder does not sit waiting for a worker that a busy machine has not
// yet scheduled: it takes the queued steps itself, and waits only while
// the worker is inside one.
template <typename Done>
void Sha256Pipe::HelpUntil(std::unique_lock<std::mutex>& lock, Done done) {
  while (!done()) {
    if (hashing_ || queue_.empty()) {
      drained_.wait(lock);
    } else {
      TakeFront(lock);
    }
  }
}

void Sha256Pipe::WaitIdle(std::unique_lock<std::mutex>& lock) {
  HelpUntil(lock, [this] { return queue_.empty() && !hashing_; });
}

void Sha256Pipe::Push(Step step, size_t bytes) {
  std::unique_lock<std::mutex> lock(mutex_);
  if (!worker_.joinable()) worker_ = std::thread([this] { Run(); });
  if (bytes > 0) HelpUntil(lock, [this] { return pending_ < kMaxPending; });
  // A sleeping worker is woken for a seal, whose verdict somebody awaits,
  // or once a batch of bytes is queued, not for every received chunk: on a
  // machine with few processors each wake-up is a switch between threads
  // that costs more than hashing the chunk.
  const bool wake = !hashing_ && (step.seal != nullptr || pending_ + bytes >= kWakeBytes);
  queue_.push_back(std::move(step));
  pending_ += bytes;
  lock.unlock();
  if (wake) wake_.notify_one();
}

void Sha256Pipe::Reset() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    // Only the current stream's bytes go; a seal and what came before it
    // belong to a stream already ended.
    while (!queue_.empty() && !queue_.back().seal && !queue_.back().restart) {
      pending_ -= queue_.back().bytes.size();
      queue_.pop_back();
    }
  }
  fed_ = 0;
  // Bytes of this stream that were hashed already go with the restart.
  Step restart;
  restart.restart = true;
  Push(std::move(restart), 0);
}

void Sha256Pipe::Update(const void* data, size_t size) {
  if (size == 0) return;
  const uint8_t* bytes = static_cast<const uint8_t*>(data);
  Step step;
  step.bytes.assign(bytes, bytes + size);
  Push(std::move(step), size);
  fed_ += size;
}

void Sha256Pipe::Seal(SealFn done) {
  Step step;
  step.seal = std::move(done);
  Push(std::move(step), 0);
  fed_ = 0;
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
    TakeFront(lock);
  }
}

}  // namespace kivro
