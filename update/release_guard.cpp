#include "update/release_guard.h"

#include <cctype>
#include <cinttypes>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/codepage.h"
#include "platform/debug.h"
#include "platform/file.h"
#include "platform/file_inside.h"
#include "platform/paths.h"
#include "platform/registry.h"
#include "platform/url.h"
#include "update/last_error.h"

namespace kivro {

const char kReleaseRecordKey[] =
    "Software\\"
    "\xB7\xCE\xC4\xC3 \xC0\xC0\xBF\xEB \xC7\xC1\xB7\xCE\xB1\xD7\xB7\xA5 "
    "\xB8\xB6\xB9\xFD\xBB\xE7\xBF\xA1\xBC\xAD \xBB\xFD\xBC\xBA\xC7\xD1 "
    "\xC0\xC0\xBF\xEB \xC7\xC1\xB7\xCE\xB1\xD7\xB7\xA5"
    "\\KIVROInstaller\\Releases";

namespace release_guard_detail {

bool UrlPath(const std::string& url, std::string* path) {
  size_t scheme = url.find("://");
  if (scheme == std::string::npos) return false;
  size_t start = url.find('/', scheme + 3);
  if (start == std::string::npos) return false;
  std::string raw = url.substr(start, url.find_first_of("?#", start) - start);
  std::string out;
  for (size_t i = 0; i < raw.size(); ++i) {
    char c = raw[i];
    if (c == '%' && i + 2 < raw.size() && std::isxdigit(static_cast<unsigned char>(raw[i + 1])) &&
        std::isxdigit(static_cast<unsigned char>(raw[i + 2]))) {
      c = static_cast<char>(std::stoi(raw.substr(i + 1, 2), nullptr, 16));
      i += 2;
      if (c == '\0') return false;
    }
    if (c == '/' && !out.empty() && out.back() == '/') continue;
    out += c;
  }
  *path = out;
  return true;
}

std::string HostOf(const std::string& url) {
  size_t scheme = url.find("://");
  if (scheme == std::string::npos) return {};
  size_t end = url.find('/', scheme + 3);
  return url.substr(scheme + 3, end == std::string::npos ? std::string::npos : end - scheme - 3);
}

std::string WithHost(const std::string& url, const std::string& host) {
  size_t scheme = url.find("://");
  if (scheme == std::string::npos) return url;
  size_t end = url.find('/', scheme + 3);
  return url.substr(0, scheme + 3) + host + (end == std::string::npos ? "" : url.substr(end));
}

}  // namespace release_guard_detail

namespace {

// Removes a fetched file that failed its check, in its own folder and never
// through a link (file_inside.h): a link planted at the name stays, and
// neither the file it points to nor its attributes change.
void RemoveFetched(const std::string& path) {
  platform::RemoveFileInside(platform::DirectoryPart(path), path);
}

using release_guard_detail::HostOf;
using release_guard_detail::UrlPath;
using release_guard_detail::WithHost;

int32_t Record(int32_t code, const char* format, ...) __attribute__((format(printf, 2, 3)));
int32_t Record(int32_t code, const char* format, ...) {
  char text[256];
  va_list args;
  va_start(args, format);
  vsnprintf(text, sizeof text, format, args);
  va_end(args);
  SetLastErrorInfo(code, 0, text);
  platform::DebugPrintf("[release] %s\n", text);
  return code;
}

// Failures that another host may not have: the network's and the
// server's. A stop, a bad URL and the local disk's failures are not.
bool AnotherHostMayHelp(int32_t r) {
  switch (r) {
    case 1: case 11: case 12: case 13: case 14: case 15: case 16: case 31: case 32:
      return false;
    default:
      return true;
  }
}

bool ReadBounded(const std::string& path, uint64_t limit, std::string* text) {
  platform::FileInfo info;
  return platform::GetFileInfo(path, &info) && info.size <= limit &&
         platform::ReadWholeFile(path, text);
}

}  // namespace

CReleaseGuard::CReleaseGuard() = default;
CReleaseGuard::~CReleaseGuard() = default;

bool CReleaseGuard::SetPublicKey(const std::string& key_text, std::string* error) {
  has_key_ = !key_text.empty();
  key_broken_ = false;
  if (!has_key_) return true;
  // A key was meant: one that does not read fails every check rather than
  // letting unsigned releases through.
  key_broken_ = !ParseMinisignPublicKey(key_text, &key_, error);
  return !key_broken_;
}

void CReleaseGuard::SetMirrors(const std::vector<std::string>& hosts) { mirrors_ = hosts; }

void CReleaseGuard::SetReplayRecord(const std::string& registry_key,
                                    const std::string& install_folder) {
  replay_key_ = registry_key;
  // One value per install folder; folder names compare without case.
  replay_folder_ = platform::ToLowerAscii(install_folder);
}

int64_t CReleaseGuard::AcceptedPublication() const {
  std::string text;
  if (replay_key_.empty() ||
      !platform::RegistryGetString(platform::RegistryRoot::kCurrentUser, replay_key_,
                                   replay_folder_, &text))
    return 0;
  char* end = nullptr;
  long long value = std::strtoll(text.c_str(), &end, 10);
  return end != text.c_str() && *end == '\0' && value > 0 ? value : 0;
}

void CReleaseGuard::StoreAccepted(int64_t published) {
  if (replay_key_.empty()) return;
  platform::RegistryCreateKey(platform::RegistryRoot::kCurrentUser, replay_key_);
  if (!platform::RegistrySetString(platform::RegistryRoot::kCurrentUser, replay_key_,
                                   replay_folder_, std::to_string(published)))
    platform::DebugPrintf("[release] cannot record publication %" PRId64 "\n", published);
}

void CReleaseGuard::BeginCheck(const std::string& list_path, const std::string& list_url,
                               int32_t method) {
  manifest_.reset();
  tree_prefix_.clear();
  check_method_ = method;
  pinned_ = kNotPinned;
  list_path_ = list_path;
  manifest_path_ = list_path + ".manifest";
  signature_path_ = manifest_path_ + ".minisig";
  list_url_ = list_url;
  manifest_url_ = list_url + ".manifest";
  signature_url_ = manifest_url_ + ".minisig";
  // Compared the way fetches arrive: canonical, then as a plain path.
  auto path_of = [](const std::string& url) {
    std::string path;
    return UrlPath(platform::CanonicalizeUrl(url), &path) ? path : std::string();
  };
  list_url_path_ = path_of(list_url_);
  manifest_url_path_ = path_of(manifest_url_);
  signature_url_path_ = path_of(signature_url_);
}

void CReleaseGuard::RemoveCheckFiles() {
  for (const std::string* p : {&list_path_, &manifest_path_, &signature_path_})
    RemoveFetched(*p);
}

int32_t CReleaseGuard::FetchList(const std::function<int32_t(const char*, const char*)>& download) {
  if (!has_key_) return download(list_path_.c_str(), list_url_.c_str());
  if (key_broken_) {
    RemoveCheckFiles();
    return Record(kReleaseBadSignature, "THE RELEASE KEY IS NOT A MINISIGN PUBLIC KEY");
  }
  // The list and the manifest that vouches for it come from one host:
  // mirrors may be a release apart while they catch up, and a list checked
  // against another host's manifest would then fail on hosts that are fine.
  const size_t count = check_method_ == kMethodUrl ? mirrors_.size() + 1 : 1;
  const size_t first = preferred_.load() % count;
  bool have_verdict = false;
  LastErrorRecord verdict;
  int32_t r = 0;
  for (size_t k = 0; k < count; ++k) {
    pinned_ = (first + k) % count;
    r = download(list_path_.c_str(), list_url_.c_str());
    if (r == 0) r = CheckSignedList(download);
    const size_t host = pinned_;
    pinned_ = kNotPinned;
    if (r == 0) {
      preferred_ = host;
      return 0;
    }
    // Nothing that failed its check stays on disk to be read later.
    RemoveCheckFiles();
    if (!AnotherHostMayHelp(r)) return r;
    // A release that failed its check says more than a host that was down.
    if (!have_verdict && r >= kReleaseUnsigned && r <= kReleaseFileMismatch) {
      have_verdict = true;
      verdict = GetLastErrorInfo();
    }
    if (count > 1)
      platform::DebugPrintf("[release] the release check failed on %s (code %d)\n",
                            host == 0 ? HostOf(list_url_).c_str() : mirrors_[host - 1].c_str(), r);
  }
  if (!have_verdict) return r;
  SetLastErrorInfo(verdict.code, verdict.system_error, verdict.text);
  return verdict.code;
}

int32_t CReleaseGuard::CheckSignedList(
    const std::function<int32_t(const char*, const char*)>& download) {
  int32_t r = download(manifest_path_.c_str(), manifest_url_.c_str());
  if (r == 0) r = download(signature_path_.c_str(), signature_url_.c_str());
  if (r != 0 && !AnotherHostMayHelp(r)) return r;
  if (r != 0)
    return Record(kReleaseUnsigned,
                  "NO SIGNED RELEASE MANIFEST AT [%.150s] (CODE %d): THE SERVER IS NOT SIGNED",
                  manifest_url_.c_str(), r);
  std::string text, signature_text, error;
  if (!ReadBounded(signature_path_, 4096, &signature_text))
    return Record(kReleaseBadSignature, "RELEASE MANIFEST SIGNATURE CANNOT BE READ");
  if (!ReadBounded(manifest_path_, kManifestMaxBytes, &text))
    return Record(kReleaseBadManifest, "RELEASE MANIFEST CANNOT BE READ OR IS TOO LARGE");
  MinisignSignature signature;
  if (!ParseMinisignSignature(signature_text, &signature, &error))
    return Record(kReleaseBadSignature, "RELEASE MANIFEST SIGNATURE IS MALFORMED: %.150s",
                  error.c_str());
  switch (VerifyMinisign(key_, signature, text.data(), text.size())) {
    case SignatureCheck::kGood: break;
    case SignatureCheck::kWrongKey:
      return Record(kReleaseWrongKey, "RELEASE MANIFEST IS SIGNED WITH KEY %s, NOT WITH KEY %s",
                    MinisignKeyIdText(signature.key_id).c_str(),
                    MinisignKeyIdText(key_.key_id).c_str());
    case SignatureCheck::kBad:
      return Record(kReleaseBadSignature, "RELEASE MANIFEST SIGNATURE DOES NOT VERIFY");
  }
  auto manifest = std::make_unique<ReleaseManifest>();
  if (!ParseReleaseManifest(text, manifest.get(), &error))
    return Record(kReleaseBadManifest, "RELEASE MANIFEST IS MALFORMED: %.150s", error.c_str());
  int64_t accepted = AcceptedPublication();
  if (manifest->published < accepted)
    return Record(kReleaseReplayed,
                  "RELEASE PUBLISHED AT %" PRId64 " IS OLDER THAN ONE ACCEPTED BEFORE (%" PRId64
                  "): REFUSED AS A REPLAY",
                  manifest->published, accepted);
  // The list's entry tells where the described tree sits on the server: the
  // longest entry that ends the list's URL path.
  const ManifestEntry* list_entry = nullptr;
  for (const ManifestEntry& e : manifest->entries) {
    const std::string& p = list_url_path_;
    if (p.size() > e.path.size() &&
        p.compare(p.size() - e.path.size(), e.path.size(), e.path) == 0 &&
        p[p.size() - e.path.size() - 1] == '/' &&
        (list_entry == nullptr || e.path.size() > list_entry->path.size()))
      list_entry = &e;
  }
  if (list_entry == nullptr)
    return Record(kReleaseListMismatch, "PATCH LIST [%.150s] IS NOT NAMED BY THE SIGNED MANIFEST",
                  list_url_path_.c_str());
  Sha256Stream hash;
  uint8_t digest[32];
  bool read = HashFilePrefix(list_path_, UINT64_MAX, &hash);
  read = hash.Final(digest) && read;
  if (!read || hash.Size() != list_entry->size || std::memcmp(digest, list_entry->sha256, 32) != 0)
    return Record(kReleaseListMismatch,
                  "PATCH LIST [%.150s] DOES NOT MATCH THE SIGNED MANIFEST (SHA-256)",
                  list_entry->path.c_str());
  tree_prefix_ = list_url_path_.substr(0, list_url_path_.size() - list_entry->path.size());
  if (manifest->published > accepted) StoreAccepted(manifest->published);
  platform::DebugPrintf("[release] manifest published at %" PRId64 " verified, %zu files\n",
                        manifest->published, manifest->entries.size());
  manifest_ = std::move(manifest);
  return 0;
}

const ManifestEntry* CReleaseGuard::Admit(const std::string& url, int32_t* refusal) {
  *refusal = 0;
  if (!has_key_) return nullptr;
  std::string path;
  if (!UrlPath(url, &path)) path.clear();
  if (manifest_ != nullptr) {
    const ManifestEntry* entry = nullptr;
    if (path.compare(0, tree_prefix_.size(), tree_prefix_) == 0)
      entry = manifest_->Find(path.substr(tree_prefix_.size()));
    if (entry == nullptr)
      *refusal = Record(kReleaseNotInManifest, "FILE [%.150s] IS NOT NAMED BY THE SIGNED MANIFEST",
                        path.c_str());
    return entry;
  }
  // Before the manifest is verified only the check's own three files may
  // come; CheckList verifies them.
  if (path.empty() ||
      (path != list_url_path_ && path != manifest_url_path_ && path != signature_url_path_))
    *refusal = Record(kReleaseNotInManifest,
                      "FILE [%.150s] ASKED FOR BEFORE THE RELEASE MANIFEST WAS VERIFIED", path.c_str());
  return nullptr;
}

int32_t CReleaseGuard::Confirm(const ManifestEntry& entry, const std::string& local_path,
                               const std::string& url, const std::string& host) {
  uint8_t digest[32];
  uint64_t size = 0;
  bool hashed;
  if (tapped_ && !tap_failed_) {
    hashed = hash_.Final(digest);
    size = hash_.Size();
  } else {
    // An engine without a tap, or a partial file that could not be read:
    // the finished file is hashed whole.
    Sha256Stream whole;
    hashed = HashFilePrefix(local_path, UINT64_MAX, &whole);
    hashed = whole.Final(digest) && hashed;
    size = whole.Size();
  }
  std::string path;
  UrlPath(url, &path);
  std::string mismatch = FileMismatchText(entry, hashed, digest, size, path, host);
  if (mismatch.empty()) return 0;
  RemoveFetched(local_path);
  return Record(kReleaseFileMismatch, "%s", mismatch.c_str());
}

void CReleaseGuard::OnReceiveStart(const std::string& file, uint32_t offset) {
  hash_.Reset();
  tapped_ = true;
  tap_failed_ = false;
  // A resumed partial file is hashed whole before its rest arrives.
  if (offset > 0 && !hash_.HashFilePrefix(file, offset)) tap_failed_ = true;
}

void CReleaseGuard::OnReceived(const void* data, uint32_t size) { hash_.Update(data, size); }

int32_t CReleaseGuard::FetchFrom(int method, const char* local_path, const char* url) {
  switch (method) {
    case kMethodUrl: return inner_->DownloadUrl(local_path, url, 0);
    case kMethodFtp: return inner_->DownloadFtp(local_path, url, 0);
    case kMethodHttp: return inner_->DownloadHttp(local_path, url, 0);
    default: return inner_->DownloadFtpResume(local_path, url, 0);
  }
}

int32_t CReleaseGuard::Fetch(int method, const char* local_path, const char* url) {
  const std::string address = url != nullptr ? url : "";
  int32_t refusal = 0;
  const ManifestEntry* entry = Admit(address, &refusal);
  if (refusal != 0) return refusal;
  // Mirrors replace the URL's host, which only the whole-URL method uses;
  // the other methods take their server from the connection.
  std::vector<std::string> hosts{HostOf(address)};
  if (method == kMethodUrl) hosts.insert(hosts.end(), mirrors_.begin(), mirrors_.end());
  size_t count = hosts.size();
  size_t first = count > 1 ? preferred_.load() % count : 0;
  // A check pinned to one host asks that host only.
  if (pinned_ != kNotPinned) {
    first = pinned_ < count ? pinned_ : 0;
    count = 1;
  }
  I_ReceiveTapHost* tap_host = dynamic_cast<I_ReceiveTapHost*>(inner_);
  deferred_.reset();
  // The same file again while its last verdict is still to come: that
  // verdict may delete the file, so it must be in before new bytes land.
  if (std::shared_ptr<FileVerdict> last = last_deferred_.lock();
      last != nullptr && local_path != nullptr && last->local_path() == local_path)
    last->Wait();
  int32_t r = 0;
  for (size_t k = 0; k < count; ++k) {
    size_t h = (first + k) % hosts.size();
    std::string target = h == 0 ? address : WithHost(address, hosts[h]);
    if (hosts.size() > 1) platform::DebugPrintf("[release] %s from %s\n", local_path, hosts[h].c_str());
    tapped_ = false;
    if (entry != nullptr && tap_host != nullptr) tap_host->SetReceiveTap(this);
    r = FetchFrom(method, local_path, target.c_str());
    if (tap_host != nullptr) tap_host->SetReceiveTap(nullptr);
    if (r == 0 && entry != nullptr) {
      // With no other host to turn to, a mismatch fails the fetch whenever
      // it is found: the verdict can follow the bytes instead of holding up
      // the next fetch. With mirrors it decides at once which host serves.
      if (defer_verdicts_ && count == 1 && tapped_ && !tap_failed_) {
        std::string path;
        UrlPath(address, &path);
        auto verdict = std::make_shared<FileVerdict>(*entry, local_path, path, hosts[h]);
        hash_.Seal([verdict](bool hashed, const uint8_t digest[32], uint64_t size) {
          verdict->Settle(hashed, digest, size);
        });
        last_deferred_ = verdict;
        deferred_ = std::move(verdict);
        preferred_ = h;
        return 0;
      }
      r = Confirm(*entry, local_path, address, hosts[h]);
    }
    if (r == 0) {
      preferred_ = h;
      return 0;
    }
    if (!AnotherHostMayHelp(r)) return r;
    if (hosts.size() > 1)
      platform::DebugPrintf("[release] %s failed on %s (code %d)\n", local_path, hosts[h].c_str(), r);
  }
  return r;
}

void CReleaseGuard::DeferVerdicts(bool on) {
  defer_verdicts_ = on;
  if (!on) deferred_.reset();
}

std::shared_ptr<FileVerdict> CReleaseGuard::TakeDeferredVerdict() { return std::move(deferred_); }

void CReleaseGuard::SetOption(int32_t which, const char* value) { inner_->SetOption(which, value); }
void CReleaseGuard::SetCancelCheck(CancelCheckFn check) { inner_->SetCancelCheck(check); }
void CReleaseGuard::SetProgressCallback(DownloadProgressFn callback) {
  inner_->SetProgressCallback(callback);
}
void CReleaseGuard::SetPercentCallback(PercentFn callback) { inner_->SetPercentCallback(callback); }
int32_t CReleaseGuard::OpenUrlSession(const char* agent) { return inner_->OpenUrlSession(agent); }
int32_t CReleaseGuard::DownloadUrl(const char* local_path, const char* url, int32_t) {
  return Fetch(kMethodUrl, local_path, url);
}
void CReleaseGuard::CloseUrlSession() { inner_->CloseUrlSession(); }
int32_t CReleaseGuard::ConnectHttp(const char* agent, const char* server, const char* user,
                                   const char* password, int32_t port) {
  return inner_->ConnectHttp(agent, server, user, password, port);
}
int32_t CReleaseGuard::DownloadHttp(const char* local_path, const char* url, int32_t) {
  return Fetch(kMethodHttp, local_path, url);
}
void CReleaseGuard::CloseHttp() { inner_->CloseHttp(); }
int32_t CReleaseGuard::ConnectFtp(const char* agent, const char* server, const char* user,
                                  const char* password, int32_t port) {
  return inner_->ConnectFtp(agent, server, user, password, port);
}
int32_t CReleaseGuard::DownloadFtp(const char* local_path, const char* url, int32_t) {
  return Fetch(kMethodFtp, local_path, url);
}
void CReleaseGuard::CloseFtp() { inner_->CloseFtp(); }
int32_t CReleaseGuard::ConnectFtpResume(const char* agent, const char* server, const char* user,
                                        const char* password, int32_t port) {
  return inner_->ConnectFtpResume(agent, server, user, password, port);
}
int32_t CReleaseGuard::DownloadFtpResume(const char* local_path, const char* url, int32_t) {
  return Fetch(kMethodFtpResume, local_path, url);
}
void CReleaseGuard::CloseFtpResume() { inner_->CloseFtpResume(); }
// The guard belongs to whoever configured it; the manager never deletes it.
void CReleaseGuard::Release() {}

}  // namespace kivro
