// Release manifests and signatures come from the download server (and keys
// from build settings and operators): any bytes must parse without fault,
// and a manifest that parses must survive being written and read again.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "update/minisign.h"
#include "update/release_manifest.h"

namespace kivro {

namespace {

void RoundTripManifest(std::string_view text) {
  ReleaseManifest manifest;
  std::string error;
  if (!ParseReleaseManifest(text, &manifest, &error)) return;
  ReleaseManifest again;
  if (!ParseReleaseManifest(FormatReleaseManifest(manifest), &again, &error)) abort();
  if (again.published != manifest.published || again.entries.size() != manifest.entries.size())
    abort();
  for (size_t i = 0; i < manifest.entries.size(); ++i) {
    const ManifestEntry& a = manifest.entries[i];
    const ManifestEntry& b = again.entries[i];
    if (a.path != b.path || a.size != b.size || std::memcmp(a.sha256, b.sha256, 32) != 0) abort();
    if (manifest.Find(a.path) != &a) abort();
  }
}

}  // namespace

}  // namespace kivro

using namespace kivro;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  std::string_view text(reinterpret_cast<const char*>(data) + 1, size - 1);
  std::string error;
  switch (data[0] % 4) {
    case 0:
      RoundTripManifest(text);
      break;
    case 1: {
      MinisignSignature signature;
      if (ParseMinisignSignature(text, &signature, &error)) {
        MinisignPublicKey key;  // all zero: must simply not verify
        std::memcpy(key.key_id, signature.key_id, 8);
        if (VerifyMinisign(key, signature, text.data(), text.size()) == SignatureCheck::kGood)
          abort();
      }
      break;
    }
    case 2: {
      MinisignPublicKey key;
      if (ParseMinisignPublicKey(text, &key, &error)) {
        MinisignPublicKey again;
        if (!ParseMinisignPublicKey(MinisignPublicKeyLine(key), &again, &error) ||
            std::memcmp(&again, &key, sizeof key) != 0)
          abort();
      }
      break;
    }
    default: {
      MinisignSecretKey key;
      ParseMinisignSecretKey(text, &key, &error);
      break;
    }
  }
  return 0;
}
