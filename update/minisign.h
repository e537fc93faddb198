// Keys and signatures in the format of the `minisign` tool, so operators make
// keys with `minisign -G -W` and can sign or check releases by hand. The
// cryptography is libsodium's (Ed25519, BLAKE2b-512); this file only reads
// and writes the tool's files:
//   public key  "untrusted comment: ...\n" base64("Ed" key_id[8] pk[32])
//   secret key  "untrusted comment: ...\n" base64("Ed" kdf[2] "B2" salt[32]
//               opslimit[8] memlimit[8] key_id[8] sk[64] checksum[32])
//   signature   "untrusted comment: ...\n" base64("ED"|"Ed" key_id[8] sig[64])
//               "trusted comment: <text>\n" base64(global_sig[64])
// "ED" signs the BLAKE2b-512 hash of the file, "Ed" (legacy) the file itself;
// the global signature covers sig[64] followed by the trusted comment text.
//
// Thread safety: free functions over caller-owned values; libsodium is
// initialised once, on first use.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace kivro {

struct MinisignPublicKey {
  uint8_t key_id[8] = {};
  uint8_t key[32] = {};
};

struct MinisignSecretKey {
  uint8_t key_id[8] = {};
  uint8_t key[64] = {};  // Ed25519 secret key; its second half is the public key
};

struct MinisignSignature {
  bool hashed = true;  // "ED": signs the BLAKE2b-512 hash of the data
  uint8_t key_id[8] = {};
  uint8_t signature[64] = {};
  std::string trusted_comment;  // without "trusted comment: "
  uint8_t global_signature[64] = {};
};

enum class SignatureCheck { kGood, kWrongKey, kBad };

// False when libsodium cannot be initialised (then nothing here works).
bool MinisignReady();

// A whole public key file, or only its base64 line (as a build setting or a
// command-line argument gives it). False with a reason otherwise.
bool ParseMinisignPublicKey(std::string_view text, MinisignPublicKey* key, std::string* error);
// An unencrypted secret key file (`minisign -G -W`); an encrypted one is
// refused with a message saying how to make one that can be used.
bool ParseMinisignSecretKey(std::string_view text, MinisignSecretKey* key, std::string* error);
bool ParseMinisignSignature(std::string_view text, MinisignSignature* signature,
                            std::string* error);

// kWrongKey when the signature names another key id; kBad when either
// signature does not verify.
SignatureCheck VerifyMinisign(const MinisignPublicKey& key, const MinisignSignature& signature,
                              const void* data, size_t size);

// The public key's base64 line and the key id as the tool prints it.
std::string MinisignPublicKeyLine(const MinisignPublicKey& key);
std::string MinisignKeyIdText(const uint8_t key_id[8]);
// The public half of a secret key.
MinisignPublicKey MinisignPublicHalf(const MinisignSecretKey& key);

// A signature file of `data` in the hashed form, with the given trusted
// comment (one line, no line breaks: empty result otherwise).
std::string SignMinisign(const MinisignSecretKey& key, const void* data, size_t size,
                         const std::string& trusted_comment);

}  // namespace kivro
