#include "tools/kivro_publish_sign.h"

#include <cstdlib>
#include <ctime>

#include "platform/codepage.h"
#include "platform/file.h"
#include "update/release_manifest.h"

namespace kivro {

bool ReadSigningKey(const std::string& path, MinisignSecretKey* key, std::string* error) {
  std::string text;
  platform::FileInfo info;
  // A key file is a few hundred bytes; anything large is not one.
  if (!platform::GetFileInfo(path, &info) || info.size > 4096 || !platform::ReadWholeFile(path, &text)) {
    *error = "cannot read the secret key " + platform::Cp949ToUtf8(path);
    return false;
  }
  if (!ParseMinisignSecretKey(text, key, error)) {
    *error = platform::Cp949ToUtf8(path) + ": " + *error;
    return false;
  }
  return true;
}

bool WriteSignedManifest(const PublishOptions& options, const MinisignSecretKey& key,
                         PublishSummary* summary, std::string* error) {
  ReleaseManifest manifest;
  // The publication time is the publishing moment unless given: publishing
  // the same files again (a roll-back) must give a newer time, and a given
  // time gives the same bytes every run.
  manifest.published = options.published >= 0 ? options.published : static_cast<int64_t>(std::time(nullptr));
  for (const std::string& file : summary->written) {
    ManifestEntry entry;
    std::string relative = file.substr(options.server_dir.size() + 1);
    for (char& c : relative)
      if (c == '\\') c = '/';
    entry.path = platform::Cp949ToUtf8(relative);
    Sha256Stream hash;
    if (!HashFilePrefix(file, UINT64_MAX, &hash)) {
      *error = "cannot read " + platform::Cp949ToUtf8(file) + " for the manifest";
      return false;
    }
    if (!hash.Final(entry.sha256)) {
      *error = "cannot hash " + platform::Cp949ToUtf8(file) + " for the manifest";
      return false;
    }
    entry.size = hash.Size();
    manifest.entries.push_back(std::move(entry));
  }
  std::string text = FormatReleaseManifest(manifest);
  ReleaseManifest check;
  if (!ParseReleaseManifest(text, &check, error)) {
    *error = "the manifest does not read back: " + *error;
    return false;
  }
  std::string name = options.project + ".vrl.manifest";
  std::string path = options.server_dir + "\\vrl\\newvrl\\" + name;
  // The tool's own trusted comment, so `minisign -V` shows the same fields.
  std::string comment =
      "timestamp:" + std::to_string(manifest.published) + "\tfile:" + name + "\thashed";
  std::string signature = SignMinisign(key, text.data(), text.size(), comment);
  if (signature.empty()) {
    *error = "cannot sign the manifest";
    return false;
  }
  // Each file is renamed into place whole. A launcher checking between the
  // two renames finds a manifest its signature does not cover and installs
  // nothing; the next check finds both.
  if (!WriteAtomically(path, text, error) || !WriteAtomically(path + ".minisig", signature, error))
    return false;
  summary->manifest_path = path;
  return true;
}

}  // namespace kivro
