#include "update/minisign.h"

#include <sodium.h>

#include <cstring>
#include <vector>

namespace kivro {

namespace {

constexpr char kUntrusted[] = "untrusted comment: ";
constexpr char kTrusted[] = "trusted comment: ";

// Lines without their "\n" or "\r\n"; a final line feed ends the last line.
std::vector<std::string_view> SplitLines(std::string_view text) {
  std::vector<std::string_view> lines;
  while (!text.empty()) {
    size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    lines.push_back(line);
    if (end == std::string_view::npos) break;
    text.remove_prefix(end + 1);
  }
  return lines;
}

bool StartsWith(std::string_view text, std::string_view prefix) {
  return text.substr(0, prefix.size()) == prefix;
}

// Exactly `size` bytes from the whole base64 text, nothing left over.
bool DecodeExact(std::string_view b64, uint8_t* out, size_t size) {
  if (b64.empty() || b64.size() > 1024) return false;
  std::vector<uint8_t> buffer(b64.size());
  size_t length = 0;
  const char* end = nullptr;
  if (sodium_base642bin(buffer.data(), buffer.size(), b64.data(), b64.size(), nullptr, &length,
                        &end, sodium_base64_VARIANT_ORIGINAL) != 0 ||
      end != b64.data() + b64.size() || length != size)
    return false;
  std::memcpy(out, buffer.data(), size);
  return true;
}

std::string Encode(const uint8_t* data, size_t size) {
  std::string out(sodium_base64_ENCODED_LEN(size, sodium_base64_VARIANT_ORIGINAL), '\0');
  sodium_bin2base64(out.data(), out.size(), data, size, sodium_base64_VARIANT_ORIGINAL);
  out.resize(std::strlen(out.c_str()));
  return out;
}

}  // namespace

bool MinisignReady() {
  static const bool ready = sodium_init() >= 0;
  return ready;
}

bool ParseMinisignPublicKey(std::string_view text, MinisignPublicKey* key, std::string* error) {
  std::vector<std::string_view> lines = SplitLines(text);
  std::string_view b64;
  if (lines.size() >= 2 && StartsWith(lines[0], kUntrusted)) {
    b64 = lines[1];
  } else if (lines.size() == 1) {
    b64 = lines[0];
    while (!b64.empty() && (b64.front() == ' ' || b64.front() == '\t')) b64.remove_prefix(1);
    while (!b64.empty() && (b64.back() == ' ' || b64.back() == '\t')) b64.remove_suffix(1);
  } else {
    *error = "not a minisign public key";
    return false;
  }
  uint8_t raw[42];
  if (!MinisignReady() || !DecodeExact(b64, raw, sizeof raw)) {
    *error = "the public key is not base64 of 42 bytes";
    return false;
  }
  if (raw[0] != 'E' || raw[1] != 'd') {
    *error = "the public key is not an Ed25519 minisign key";
    return false;
  }
  std::memcpy(key->key_id, raw + 2, 8);
  std::memcpy(key->key, raw + 10, 32);
  return true;
}

bool ParseMinisignSecretKey(std::string_view text, MinisignSecretKey* key, std::string* error) {
  std::vector<std::string_view> lines = SplitLines(text);
  uint8_t raw[158];
  if (lines.size() < 2 || !StartsWith(lines[0], kUntrusted) || !MinisignReady() ||
      !DecodeExact(lines[1], raw, sizeof raw) || raw[0] != 'E' || raw[1] != 'd' ||
      raw[4] != 'B' || raw[5] != '2') {
    *error = "not a minisign secret key";
    return false;
  }
  if (raw[2] != 0 || raw[3] != 0) {
    *error =
        "the secret key is encrypted with a password; make one without a password "
        "(minisign -G -W) or sign the manifest by hand with minisign -S";
    return false;
  }
  const uint8_t* key_id = raw + 54;
  const uint8_t* secret = raw + 62;
  const uint8_t* checksum = raw + 126;
  // The tool writes the checksum as zeros for keys without a password; any
  // other value must be the BLAKE2b-256 of algorithm, key id and key.
  static const uint8_t kZero[32] = {};
  if (std::memcmp(checksum, kZero, 32) != 0) {
    uint8_t expected[32];
    crypto_generichash_state state;
    crypto_generichash_init(&state, nullptr, 0, sizeof expected);
    crypto_generichash_update(&state, raw, 2);
    crypto_generichash_update(&state, key_id, 8);
    crypto_generichash_update(&state, secret, 64);
    crypto_generichash_final(&state, expected, sizeof expected);
    if (sodium_memcmp(expected, checksum, 32) != 0) {
      *error = "the secret key's checksum does not match (damaged file)";
      return false;
    }
  }
  // The second half must be the public key of the first (the seed).
  uint8_t pk[32], sk[64];
  crypto_sign_seed_keypair(pk, sk, secret);
  bool consistent = std::memcmp(pk, secret + 32, 32) == 0;
  sodium_memzero(sk, sizeof sk);
  if (!consistent) {
    *error = "the secret key is damaged (its halves do not belong together)";
    return false;
  }
  std::memcpy(key->key_id, key_id, 8);
  std::memcpy(key->key, secret, 64);
  sodium_memzero(raw, sizeof raw);
  return true;
}

bool ParseMinisignSignature(std::string_view text, MinisignSignature* signature,
                            std::string* error) {
  std::vector<std::string_view> lines = SplitLines(text);
  uint8_t raw[74];
  if (lines.size() < 4 || !StartsWith(lines[0], kUntrusted) || !StartsWith(lines[2], kTrusted)) {
    *error = "not a minisign signature file";
    return false;
  }
  for (size_t i = 4; i < lines.size(); ++i)
    if (!lines[i].empty()) {
      *error = "text after the signature";
      return false;
    }
  if (!MinisignReady() || !DecodeExact(lines[1], raw, sizeof raw) ||
      !DecodeExact(lines[3], signature->global_signature, 64)) {
    *error = "the signature is not base64 of the expected length";
    return false;
  }
  if (raw[0] != 'E' || (raw[1] != 'D' && raw[1] != 'd')) {
    *error = "unknown signature algorithm";
    return false;
  }
  signature->hashed = raw[1] == 'D';
  std::memcpy(signature->key_id, raw + 2, 8);
  std::memcpy(signature->signature, raw + 10, 64);
  signature->trusted_comment = std::string(lines[2].substr(sizeof kTrusted - 1));
  return true;
}

SignatureCheck VerifyMinisign(const MinisignPublicKey& key, const MinisignSignature& signature,
                              const void* data, size_t size) {
  if (!MinisignReady()) return SignatureCheck::kBad;
  if (std::memcmp(key.key_id, signature.key_id, 8) != 0) return SignatureCheck::kWrongKey;
  int verified;
  if (signature.hashed) {
    uint8_t hash[crypto_generichash_BYTES_MAX];
    crypto_generichash(hash, sizeof hash, static_cast<const uint8_t*>(data), size, nullptr, 0);
    verified = crypto_sign_verify_detached(signature.signature, hash, sizeof hash, key.key);
  } else {
    verified = crypto_sign_verify_detached(signature.signature,
                                           static_cast<const uint8_t*>(data), size, key.key);
  }
  if (verified != 0) return SignatureCheck::kBad;
  std::string global(reinterpret_cast<const char*>(signature.signature), 64);
  global += signature.trusted_comment;
  if (crypto_sign_verify_detached(signature.global_signature,
                                  reinterpret_cast<const uint8_t*>(global.data()), global.size(),
                                  key.key) != 0)
    return SignatureCheck::kBad;
  return SignatureCheck::kGood;
}

std::string MinisignPublicKeyLine(const MinisignPublicKey& key) {
  uint8_t raw[42] = {'E', 'd'};
  std::memcpy(raw + 2, key.key_id, 8);
  std::memcpy(raw + 10, key.key, 32);
  return MinisignReady() ? Encode(raw, sizeof raw) : std::string();
}

std::string MinisignKeyIdText(const uint8_t key_id[8]) {
  // The tool prints the id as a little-endian 64-bit number in upper-case
  // hex without leading zeros ("%" PRIX64), so an operator finds our text
  // in its output.
  static const char kHex[] = "0123456789ABCDEF";
  std::string text;
  for (int i = 7; i >= 0; --i) {
    text += kHex[key_id[i] >> 4];
    text += kHex[key_id[i] & 15];
  }
  size_t first = text.find_first_not_of('0');
  return first == std::string::npos ? "0" : text.substr(first);
}

MinisignPublicKey MinisignPublicHalf(const MinisignSecretKey& key) {
  MinisignPublicKey pk;
  std::memcpy(pk.key_id, key.key_id, 8);
  std::memcpy(pk.key, key.key + 32, 32);
  return pk;
}

std::string SignMinisign(const MinisignSecretKey& key, const void* data, size_t size,
                         const std::string& trusted_comment) {
  if (!MinisignReady() || trusted_comment.find_first_of("\r\n") != std::string::npos) return {};
  uint8_t hash[crypto_generichash_BYTES_MAX];
  crypto_generichash(hash, sizeof hash, static_cast<const uint8_t*>(data), size, nullptr, 0);
  uint8_t raw[74] = {'E', 'D'};
  std::memcpy(raw + 2, key.key_id, 8);
  crypto_sign_detached(raw + 10, nullptr, hash, sizeof hash, key.key);
  std::string global(reinterpret_cast<const char*>(raw + 10), 64);
  global += trusted_comment;
  uint8_t global_signature[64];
  crypto_sign_detached(global_signature, nullptr, reinterpret_cast<const uint8_t*>(global.data()),
                       global.size(), key.key);
  return std::string(kUntrusted) + "signature from minisign secret key\n" +
         Encode(raw, sizeof raw) + "\n" + kTrusted + trusted_comment + "\n" +
         Encode(global_signature, 64) + "\n";
}

}  // namespace kivro
