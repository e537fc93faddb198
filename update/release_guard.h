// CReleaseGuard: what stands between the update manager and its download
// engine when releases are signed or mirrored. It is an I_Download that
// wraps the engine the manager chose:
//  - Mirrors: each file is fetched from the host that worked last, and on a
//    refused connection, a time-out, an error status or a file that fails
//    its check, from the next host (the URL's own host first, then the
//    mirrors in order). Only when every host fails does the fetch fail.
//  - Signed releases (with a public key): the check fetches the manifest
//    and its signature beside the patch list, all three from one host;
//    `FetchList` verifies the signature and its key id, refuses a manifest
//    older than the newest one accepted before for this install folder
//    (kept in the registry), and checks the list's own hash before it is
//    read. A host whose three files fail any of that is left for the next
//    host, which must then serve all three itself. From then on every fetch
//    must name a file of the manifest and is hashed as it arrives; a file
//    that does not match is deleted and never reaches the applier.
//
// Thread safety: configured on the client's thread before any check; then
// driven by one manager worker at a time (check, then the download or
// sequential worker). The preferred host is atomic; the host a check is
// pinned to belongs to the check worker. A deferred verdict is given on the
// hash pipe's thread (or the feeding one) and is safe to await anywhere.
#pragma once
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "update/file_verdict.h"
#include "update/minisign.h"
#include "update/receive_tap.h"
#include "update/release_manifest.h"
#include "update/result_codes.h"
#include "update/roles.h"
#include "update/sha256_pipe.h"

namespace kivro {

class CReleaseGuard : public I_Download, private I_ReceiveTap {
 public:
  CReleaseGuard();
  ~CReleaseGuard() override;
  CReleaseGuard(const CReleaseGuard&) = delete;
  CReleaseGuard& operator=(const CReleaseGuard&) = delete;

  // ---- configuration ----
  // A public key file's text or its base64 line; false (with a reason) when
  // it is not a minisign key, and then every check fails. Without a key
  // (empty text) nothing is verified.
  bool SetPublicKey(const std::string& key_text, std::string* error);
  bool HasKey() const { return has_key_; }
  // Further hosts ("host" or "host:port") tried after the URL's own.
  void SetMirrors(const std::vector<std::string>& hosts);
  // Where the newest accepted publication time is kept: a key under
  // HKEY_CURRENT_USER and the install folder it belongs to.
  void SetReplayRecord(const std::string& registry_key, const std::string& install_folder);

  // ---- the manager's hooks ----
  void SetInner(I_Download* inner) { inner_ = inner; }
  // At CheckUpdate: forgets the last verified manifest and learns where the
  // list, its manifest and its signature are stored and fetched from, and
  // the transfer method the check uses (only the whole-URL method, 1,
  // reaches the mirrors).
  void BeginCheck(const std::string& list_path, const std::string& list_url, int32_t method);
  // The check's fetch, before the list is read: fetches the list with
  // `download` (local path, URL → result, through this guard) and, with a
  // key, its manifest and signature from the same host, and checks all
  // three; on a failure the next host is asked for all three. 0, or the
  // error code (also in the last-error record) once every host failed:
  // the first failed release check if a host gave one, else the last
  // host's failure.
  int32_t FetchList(const std::function<int32_t(const char*, const char*)>& download);

  // Deferred verdicts (the update's download worker): while on, a signed
  // file that was hashed as it arrived and has no other host to come from
  // returns as soon as its bytes are written; its verdict follows through
  // TakeDeferredVerdict, and whoever hands the file on must await it. A file
  // that fails is deleted when its hash is known. Off (the default): every
  // fetch returns with its verdict.
  void DeferVerdicts(bool on);
  // The pending verdict of the last fetch, or null when that fetch was
  // judged before it returned (or failed, or needed no check).
  std::shared_ptr<FileVerdict> TakeDeferredVerdict();

  // The newest publication time accepted for the configured install folder
  // (0 when none).
  int64_t AcceptedPublication() const;

  // ---- I_Download: forwarded to the wrapped engine ----
  void SetOption(int32_t which, const char* value) override;
  void SetCancelCheck(CancelCheckFn check) override;
  void SetProgressCallback(DownloadProgressFn callback) override;
  void SetPercentCallback(PercentFn callback) override;
  int32_t OpenUrlSession(const char* agent) override;
  int32_t DownloadUrl(const char* local_path, const char* url, int32_t reserved) override;
  void CloseUrlSession() override;
  int32_t ConnectHttp(const char* agent, const char* server, const char* user,
                      const char* password, int32_t port) override;
  int32_t DownloadHttp(const char* local_path, const char* url, int32_t reserved) override;
  void CloseHttp() override;
  int32_t ConnectFtp(const char* agent, const char* server, const char* user,
                     const char* password, int32_t port) override;
  int32_t DownloadFtp(const char* local_path, const char* url, int32_t reserved) override;
  void CloseFtp() override;
  int32_t ConnectFtpResume(const char* agent, const char* server, const char* user,
                           const char* password, int32_t port) override;
  int32_t DownloadFtpResume(const char* local_path, const char* url, int32_t reserved) override;
  void CloseFtpResume() override;
  void Release() override;

 private:
  // One fetch through the wrapped engine's `method` (1..4), host by host
  // (only the pinned host while a check is pinned to one).
  int32_t Fetch(int method, const char* local_path, const char* url);
  // Checks the manifest, signature and list just fetched from one host,
  // fetching the first two with `download`.
  int32_t CheckSignedList(const std::function<int32_t(const char*, const char*)>& download);
  void RemoveCheckFiles();
  int32_t FetchFrom(int method, const char* local_path, const char* url);
  // The manifest entry a URL names; null (and the reason recorded) if none.
  const ManifestEntry* Admit(const std::string& url, int32_t* refusal);
  // Checks the file just fetched against `entry`; deletes it when it fails.
  int32_t Confirm(const ManifestEntry& entry, const std::string& local_path,
                  const std::string& url, const std::string& host);
  void OnReceiveStart(const std::string& file, uint32_t offset) override;
  void OnReceived(const void* data, uint32_t size) override;
  void StoreAccepted(int64_t published);

  I_Download* inner_ = nullptr;
  bool has_key_ = false;
  bool key_broken_ = false;
  MinisignPublicKey key_;
  std::vector<std::string> mirrors_;
  std::atomic<size_t> preferred_{0};
  std::string replay_key_, replay_folder_;

  // The check's files: local paths and URL paths (host-free, decoded).
  std::string list_path_, manifest_path_, signature_path_;
  std::string list_url_path_, manifest_url_path_, signature_url_path_;
  std::string list_url_, manifest_url_, signature_url_;
  int32_t check_method_ = kMethodUrl;
  // While FetchList tries one host: its index (0 = the URL's own host).
  static constexpr size_t kNotPinned = SIZE_MAX;
  size_t pinned_ = kNotPinned;
  // Set by a successful CheckList: the manifest and the URL path prefix of
  // the server tree it describes.
  std::unique_ptr<ReleaseManifest> manifest_;
  std::string tree_prefix_;

  // Hashing on arrival, beside the download rather than inside it.
  Sha256Pipe hash_;
  bool tapped_ = false;
  bool tap_failed_ = false;
  bool defer_verdicts_ = false;
  std::shared_ptr<FileVerdict> deferred_;
  std::weak_ptr<FileVerdict> last_deferred_;  // while its hash runs
};

// The registry key (under HKEY_CURRENT_USER) where the launcher, and
// kivro-update for the same install folders, keep the newest publication
// time accepted per install folder: the launcher's own key, named after the
// framework's registry key (launcher_config.h), with "KIVROInstaller\Releases".
extern const char kReleaseRecordKey[];

namespace release_guard_detail {
// The path of a URL: from its third '/', without query, percent escapes
// decoded, runs of '/' made one. False when it has no path.
bool UrlPath(const std::string& url, std::string* path);
// The URL with its host (and port) replaced by `host`.
std::string WithHost(const std::string& url, const std::string& host);
// The URL's "host[:port]".
std::string HostOf(const std::string& url);
}  // namespace release_guard_detail

}  // namespace kivro
