// Sha256Stream on OpenSSL's libcrypto (EVP), which picks the processor's
// SHA extensions at run time.
#include <openssl/evp.h>

#include <cstring>

#include "update/sha256_stream.h"

namespace kivro {

namespace {

// Fetched once: an implicit fetch on every Init would look the algorithm
// up again for each of thousands of files.
const EVP_MD* Sha256Algorithm() {
  static EVP_MD* const algorithm = EVP_MD_fetch(nullptr, "SHA256", nullptr);
  return algorithm;
}

}  // namespace

struct Sha256Stream::State {
  EVP_MD_CTX* context = EVP_MD_CTX_new();
  // A failed step makes the stream's digest unusable until the next Reset.
  bool failed = false;
  ~State() { EVP_MD_CTX_free(context); }
};

Sha256Stream::Sha256Stream() : state_(std::make_unique<State>()) { Reset(); }
Sha256Stream::~Sha256Stream() = default;

void Sha256Stream::Reset() {
  size_ = 0;
  state_->failed = state_->context == nullptr || Sha256Algorithm() == nullptr ||
                   EVP_DigestInit_ex(state_->context, Sha256Algorithm(), nullptr) != 1;
}

void Sha256Stream::Update(const void* data, size_t size) {
  size_ += size;
  if (!state_->failed && size > 0 && EVP_DigestUpdate(state_->context, data, size) != 1)
    state_->failed = true;
}

bool Sha256Stream::Final(uint8_t out[32]) {
  unsigned int length = 0;
  if (state_->failed || EVP_DigestFinal_ex(state_->context, out, &length) != 1 || length != 32) {
    state_->failed = true;
    std::memset(out, 0, 32);
    return false;
  }
  // The context is finished: only a Reset makes it hash again.
  state_->failed = true;
  return true;
}

const char* Sha256Stream::Backend() { return "libcrypto"; }

}  // namespace kivro
