// Signed releases: the manifest of every file the publisher wrote into the
// server tree, beside the patch list, and its minisign signature.
#pragma once
#include <string>

#include "tools/kivro_publish_writer.h"
#include "update/minisign.h"

// Reads an unencrypted minisign secret key file; false with a message that
// says what to do otherwise.

namespace kivro {

bool ReadSigningKey(const std::string& path, MinisignSecretKey* key, std::string* error);

// Writes "<list>.manifest" (the files of `summary->written`) and
// "<list>.manifest.minisig" signed with `key`; sets `summary->manifest_path`.
bool WriteSignedManifest(const PublishOptions& options, const MinisignSecretKey& key,
                         PublishSummary* summary, std::string* error);

}  // namespace kivro
