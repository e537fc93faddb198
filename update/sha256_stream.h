// SHA-256 over bytes as they come: the hash of release manifests and of
// every file checked against one.
//
// Two backends, one compiled into a program (chosen by the build, see
// update/CMakeLists.txt): OpenSSL's libcrypto, which uses the processor's
// SHA instructions where it has them (several times the speed of portable
// code, and the hash runs beside every signed download), and libsodium's
// portable code where libcrypto is not available.
//
// Thread safety: one stream per thread; streams share nothing.
#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>

namespace kivro {

class Sha256Stream {
 public:
  Sha256Stream();
  ~Sha256Stream();
  Sha256Stream(const Sha256Stream&) = delete;
  Sha256Stream& operator=(const Sha256Stream&) = delete;

  void Reset();
  void Update(const void* data, size_t size);
  // The digest of everything fed since Reset; false (and `out` zeroed) when
  // the library failed on the way, which no caller may take for a match.
  // Reset before feeding again.
  [[nodiscard]] bool Final(uint8_t out[32]);
  uint64_t Size() const { return size_; }

  // "libcrypto" or "libsodium": which backend this program hashes with.
  static const char* Backend();

 private:
  struct State;
  std::unique_ptr<State> state_;
  uint64_t size_ = 0;
};

}  // namespace kivro
