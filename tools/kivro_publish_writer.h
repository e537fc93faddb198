// The release publisher: turns a release folder into the tree a download
// server serves to the launcher:
//   vrl/newvrl/<project>.vrl                      the patch list
//   dist/<project>/<name>.zip                      plain files (flat URLs), or
//   dist/<project>/<folder>/<name>.zip             with per-directory URLs
//   dist/<project>/<folder>/<package>.zip          packages, whole
//   dist/<project>/__npk_entity/<folder>/<package>_npk/<entity>.zip
//                                                  each entity's plain content
// with, when asked, a peer-engine meta file "<file>.swarmlet" and a
// "<file>.torrent" beside each,
// and, when asked, the list-patch format:
//   vrl/newvrl/<project>.pul and dist/<project>/patch_<version>.zip
// Output depends only on the release (and the previous one): names are
// sorted, zip entries carry the files' own times.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "tools/kivro_publish_release.h"

namespace kivro {

struct PublishOptions {
  std::string release_dir;  // Windows paths
  std::string server_dir;
  std::string previous_dir;    // empty: no removals
  bool per_directory = false;  // per-directory URLs ("Y_SUBDIR") instead of flat ones
  std::string project = "gobanvista";
  std::string download_url = "/dist/gobanvista/";
  std::string list_patch_version;  // non-empty: also write the list-patch format
  std::string list_patch_folder = "patch";
  // Non-empty ("http://host:port"): a meta file of the peer engine beside
  // every published file, naming that server as its source.
  std::string peer_source;
  // Non-empty (a web seed base URL, http://host:port[/path], the server of
  // SERVER_DIR): "<file>.torrent" beside every published file, whose web
  // seed is the file's URL under this base, named in the meta file (which
  // is then written too, with that URL as the source unless peer_source
  // names another).
  std::string torrent_base;
  // Non-empty: a minisign secret key file (unencrypted); the tree then gets
  // "<list>.manifest" and its signature "<list>.manifest.minisig".
  std::string sign_key_file;
  // The manifest's publication time (UTC seconds); negative: now.
  int64_t published = -1;
};

struct PublishSummary {
  int files = 0, packages = 0, entities = 0, archives = 0;
  int removed_files = 0, removed_packages = 0, removed_entities = 0;
  std::string list_path, list_patch_path;
  std::string manifest_path;  // when signed
  std::vector<std::string> written;  // every file written into the tree
};

// False with a message when the release cannot be published as asked; then
// the patch list on the server is left as it was.
bool Publish(const PublishOptions& options, PublishSummary* summary, std::string* error);

// Writes a file of the tree whole: a temporary file, synced, renamed into
// place (readers never see half a file).
bool WriteAtomically(const std::string& path, const std::string& text, std::string* error);

// The list date of a list time in its long form, "YYYYMMDD-HHMMSS".
std::string LongListDate(int64_t list_time);

}  // namespace kivro
