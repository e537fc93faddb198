// Sha256Stream on libsodium: portable code, for builds without libcrypto.
#include <sodium.h>

#include <cstring>

#include "update/sha256_stream.h"

namespace kivro {

struct Sha256Stream::State {
  crypto_hash_sha256_state context;
  bool finished = false;
};

Sha256Stream::Sha256Stream() : state_(std::make_unique<State>()) { Reset(); }
Sha256Stream::~Sha256Stream() = default;

void Sha256Stream::Reset() {
  size_ = 0;
  crypto_hash_sha256_init(&state_->context);
  state_->finished = false;
}

void Sha256Stream::Update(const void* data, size_t size) {
  size_ += size;
  if (!state_->finished && size > 0)
    crypto_hash_sha256_update(&state_->context, static_cast<const unsigned char*>(data), size);
}

bool Sha256Stream::Final(uint8_t out[32]) {
  if (state_->finished) {
    std::memset(out, 0, 32);
    return false;
  }
  state_->finished = true;
  return crypto_hash_sha256_final(&state_->context, out) == 0;
}

const char* Sha256Stream::Backend() { return "libsodium"; }

}  // namespace kivro
