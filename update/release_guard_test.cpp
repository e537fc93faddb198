// CReleaseGuard over a fake engine that serves files per host: the check of
// manifest, signature, key, publication time and list; files admitted only
// from the manifest and hashed as they arrive (a resumed partial file
// included); mirrors tried in turn, the host that worked preferred.
#include "update/release_guard.h"

#include <gtest/gtest.h>
#include <sodium.h>

#include <cstdio>
#include <cstring>
#include <functional>
#include <map>
#include <set>

#include "platform/file.h"
#include "platform/testing/links.h"
#include "platform/testing/temp_root.h"
#include "update/last_error.h"

namespace kivro {

namespace {

using release_guard_detail::HostOf;
using release_guard_detail::UrlPath;
using release_guard_detail::WithHost;

// Serves `files[path]` for URLs of hosts not in `down`; feeds the tap like
// CNet does, resuming from "<local>.dwn" when `resume` is set.
class ServingEngine : public I_Download, public I_ReceiveTapHost {
 public:
  std::map<std::string, std::map<std::string, std::string>> files;  // host -> path -> bytes
  std::set<std::string> down;
  int32_t local_failure = 0;  // answered for every fetch when set
  // When set, called with the local path instead of writing the file.
  std::function<bool(const std::string&)> write_instead;
  bool resume = false;
  std::vector<std::string> fetched;

  void SetReceiveTap(I_ReceiveTap* tap) override { tap_ = tap; }
  void SetOption(int32_t, const char*) override {}
  void SetCancelCheck(CancelCheckFn) override {}
  void SetProgressCallback(DownloadProgressFn) override {}
  void SetPercentCallback(PercentFn) override {}
  int32_t OpenUrlSession(const char*) override { return 0; }
  int32_t DownloadUrl(const char* local, const char* url, int32_t) override {
    fetched.push_back(url);
    if (local_failure != 0) return local_failure;
    std::string host = HostOf(url), path;
    if (down.count(host) != 0 || !UrlPath(url, &path)) return 33;
    auto it = files[host].find(path);
    if (it == files[host].end()) return 33;  // 404
    const std::string& bytes = it->second;
    std::string partial;
    size_t offset = 0;
    if (resume && platform::ReadWholeFile(std::string(local) + ".dwn", &partial)) offset = partial.size();
    if (tap_ != nullptr) {
      tap_->OnReceiveStart(std::string(local) + (offset > 0 ? ".dwn" : ""), static_cast<uint32_t>(offset));
      tap_->OnReceived(bytes.data() + offset, static_cast<uint32_t>(bytes.size() - offset));
    }
    // A resumed download keeps the partial file's own bytes in front.
    std::string whole = partial.substr(0, offset) + bytes.substr(offset);
    platform::RemoveFile(std::string(local) + ".dwn");
    if (write_instead) return write_instead(local) ? 0 : 13;
    return platform::WriteWholeFile(local, whole.data(), whole.size()) ? 0 : 13;
  }
  void CloseUrlSession() override {}
  int32_t ConnectHttp(const char*, const char*, const char*, const char*, int32_t) override { return 0; }
  int32_t DownloadHttp(const char* l, const char* u, int32_t r) override { return DownloadUrl(l, u, r); }
  void CloseHttp() override {}
  int32_t ConnectFtp(const char*, const char*, const char*, const char*, int32_t) override { return 0; }
  int32_t DownloadFtp(const char* l, const char* u, int32_t r) override { return DownloadUrl(l, u, r); }
  void CloseFtp() override {}
  int32_t ConnectFtpResume(const char*, const char*, const char*, const char*, int32_t) override {
    return 0;
  }
  int32_t DownloadFtpResume(const char* l, const char* u, int32_t r) override {
    return DownloadUrl(l, u, r);
  }
  void CloseFtpResume() override {}
  void Release() override {}

 private:
  I_ReceiveTap* tap_ = nullptr;
};

MinisignSecretKey NewKey() {
  MinisignSecretKey key;
  uint8_t pk[32];
  EXPECT_TRUE(MinisignReady());
  crypto_sign_keypair(pk, key.key);
  randombytes_buf(key.key_id, 8);
  return key;
}

class ReleaseGuardTest : public platform::TempRootTest {
 protected:
  void SetUp() override {
    TempRootTest::SetUp();
    local_ = RootFolder() + "/";
    key_ = NewKey();
    ASSERT_TRUE(guard_.SetPublicKey(MinisignPublicKeyLine(MinisignPublicHalf(key_)), &error_)) << error_;
    guard_.SetInner(&engine_);
    guard_.SetReplayRecord(kReleaseRecordKey, "C:\\Game");
    Publish("a.example", 1000, "LIST v1\n");
  }
  // A signed tree on `host`: the list, one archive, manifest and signature.
  void Publish(const std::string& host, int64_t published, const std::string& list,
               const MinisignSecretKey* key = nullptr) {
    auto& tree = engine_.files[host];
    tree["/base/vrl/newvrl/g.vrl"] = list;
    tree["/base/dist/g/a.zip"] = "archive-bytes";
    ReleaseManifest m;
    m.published = published;
    for (const char* p : {"vrl/newvrl/g.vrl", "dist/g/a.zip"}) {
      ManifestEntry e;
      e.path = p;
      const std::string& bytes = tree["/base/" + e.path];
      e.size = bytes.size();
      crypto_hash_sha256(e.sha256, reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
      m.entries.push_back(e);
    }
    std::string text = FormatReleaseManifest(m);
    tree["/base/vrl/newvrl/g.vrl.manifest"] = text;
    tree["/base/vrl/newvrl/g.vrl.manifest.minisig"] =
        SignMinisign(key != nullptr ? *key : key_, text.data(), text.size(), "timestamp:1");
  }
  int32_t Check(const std::string& host = "a.example") {
    guard_.BeginCheck(local_ + "g.vrl", "http://" + host + "/base/vrl/newvrl/g.vrl", kMethodUrl);
    return guard_.FetchList([this](const char* path, const char* url) { return guard_.DownloadUrl(path, url, 0); });
  }
  int32_t FetchArchive(const std::string& path = "/base/dist/g/a.zip") {
    return guard_.DownloadUrl((local_ + "a.zip").c_str(), ("http://a.example" + path).c_str(), 0);
  }
  bool Exists(const std::string& name) { return platform::FileExists(local_ + name); }

  ServingEngine engine_;
  CReleaseGuard guard_;
  MinisignSecretKey key_;
  std::string local_, error_;
};

TEST(ReleaseGuardUrls, PathsAreDecodedAndHostsReplaced) {
  std::string path;
  ASSERT_TRUE(UrlPath("http://h:81/dist//g/%EB%B0%94.zip?x=1", &path));
  EXPECT_EQ(path, "/dist/g/\xEB\xB0\x94.zip");
  EXPECT_FALSE(UrlPath("http://h/a%00b", &path));
  EXPECT_FALSE(UrlPath("http://h", &path));
  EXPECT_EQ(HostOf("http://h:81/x"), "h:81");
  EXPECT_EQ(WithHost("http://h:81/x/y", "m.example:8080"), "http://m.example:8080/x/y");
}

TEST_F(ReleaseGuardTest, ASignedReleasePassesAndItsTimeIsRemembered) {
  EXPECT_EQ(Check(), 0) << GetLastErrorInfo().text;
  EXPECT_EQ(guard_.AcceptedPublication(), 1000);
  EXPECT_EQ(FetchArchive(), 0);
  EXPECT_EQ(Check(), 0);  // the same release again is no replay

  Publish("a.example", 900, "LIST v0\n");
  EXPECT_EQ(Check(), kReleaseReplayed);
  EXPECT_NE(std::string(GetLastErrorInfo().text).find("REPLAY"), std::string::npos);
  EXPECT_FALSE(Exists("g.vrl"));
  // Another install folder has its own record.
  guard_.SetReplayRecord(kReleaseRecordKey, "D:\\Other");
  EXPECT_EQ(Check(), 0);
}

TEST_F(ReleaseGuardTest, ChecksFailOnAnyFlawAndLeaveNothingOnDisk) {
  engine_.files["a.example"]["/base/vrl/newvrl/g.vrl"] = "LIST v2\n";  // same size, other bytes
  EXPECT_EQ(Check(), kReleaseListMismatch);
  EXPECT_FALSE(Exists("g.vrl"));
  EXPECT_FALSE(Exists("g.vrl.manifest"));
  EXPECT_EQ(FetchArchive(), kReleaseNotInManifest);  // nothing is admitted after a failed check

  MinisignSecretKey other = NewKey();
  Publish("a.example", 1000, "LIST v1\n", &other);
  EXPECT_EQ(Check(), kReleaseWrongKey);

  Publish("a.example", 1000, "LIST v1\n");
  std::string& sig = engine_.files["a.example"]["/base/vrl/newvrl/g.vrl.manifest.minisig"];
  sig[sig.find("timestamp:1") + 10] = '2';
  EXPECT_EQ(Check(), kReleaseBadSignature);

  engine_.files["a.example"].erase("/base/vrl/newvrl/g.vrl.manifest.minisig");
  EXPECT_EQ(Check(), kReleaseUnsigned);

  CReleaseGuard broken;
  EXPECT_FALSE(broken.SetPublicKey("not a key", &error_));
  EXPECT_TRUE(broken.HasKey());
  broken.SetInner(&engine_);
  broken.BeginCheck(local_ + "g.vrl", "http://a.example/base/vrl/newvrl/g.vrl", kMethodUrl);
  EXPECT_EQ(broken.FetchList([](const char*, const char*) { return 0; }), kReleaseBadSignature);
}

TEST_F(ReleaseGuardTest, FilesComeOnlyFromTheManifestAndMustMatchIt) {
  // Before the check only the check's own files may be fetched.
  guard_.BeginCheck(local_ + "g.vrl", "http://a.example/base/vrl/newvrl/g.vrl", kMethodUrl);
  EXPECT_EQ(FetchArchive(), kReleaseNotInManifest);
  ASSERT_EQ(Check(), 0);
  engine_.fetched.clear();
  EXPECT_EQ(FetchArchive("/base/dist/g/b.zip"), kReleaseNotInManifest);
  EXPECT_EQ(FetchArchive("/other/dist/g/a.zip"), kReleaseNotInManifest);
  EXPECT_TRUE(engine_.fetched.empty());  // refused before any fetch

  engine_.files["a.example"]["/base/dist/g/a.zip"] = "archive-bytez";
  EXPECT_EQ(FetchArchive(), kReleaseFileMismatch);
  EXPECT_NE(std::string(GetLastErrorInfo().text).find("dist/g/a.zip"), std::string::npos);
  EXPECT_FALSE(Exists("a.zip"));

  // A partial file from before is part of what is checked: a good rest
  // behind a bad beginning fails, behind a good one passes.
  engine_.files["a.example"]["/base/dist/g/a.zip"] = "archive-bytes";
  engine_.resume = true;
  ASSERT_TRUE(platform::WriteWholeFile(local_ + "a.zip.dwn", "ARCH", 4));
  EXPECT_EQ(FetchArchive(), kReleaseFileMismatch);
  ASSERT_TRUE(platform::WriteWholeFile(local_ + "a.zip.dwn", "arch", 4));
  EXPECT_EQ(FetchArchive(), 0);
  std::string installed;
  ASSERT_TRUE(platform::ReadWholeFile(local_ + "a.zip", &installed));
  EXPECT_EQ(installed, "archive-bytes");
}

TEST_F(ReleaseGuardTest, MirrorsAreTriedInTurnAndTheWorkingHostIsKept) {
  Publish("b.example:8080", 1000, "LIST v1\n");
  guard_.SetMirrors({"b.example:8080"});
  engine_.down.insert("a.example");
  ASSERT_EQ(Check(), 0);
  engine_.fetched.clear();
  EXPECT_EQ(FetchArchive(), 0);
  // The host that worked is asked first from then on.
  ASSERT_EQ(engine_.fetched.size(), 1u);
  EXPECT_EQ(engine_.fetched[0], "http://b.example:8080/base/dist/g/a.zip");

  // A tampered copy on the preferred host: the other host's is taken.
  engine_.down.clear();
  engine_.files["b.example:8080"]["/base/dist/g/a.zip"] = "archive-BYTES";
  engine_.fetched.clear();
  EXPECT_EQ(FetchArchive(), 0);
  EXPECT_EQ(engine_.fetched.size(), 2u);

  // Failures of the local disk are not the host's: no other host is tried.
  engine_.fetched.clear();
  engine_.local_failure = 13;
  EXPECT_EQ(FetchArchive(), 13);
  EXPECT_EQ(engine_.fetched.size(), 1u);
  engine_.local_failure = 1;  // a stop
  EXPECT_EQ(FetchArchive(), 1);
  engine_.local_failure = 0;
  engine_.down = {"a.example", "b.example:8080"};
  EXPECT_EQ(FetchArchive(), 33);
}

// With a key, the check's three files come from one host; a host whose
// list, manifest or signature fails is left for the next for all three.
TEST_F(ReleaseGuardTest, ACheckThatFailsOnOneHostTakesAllThreeFilesFromTheNext) {
  Publish("b.example:8080", 1000, "LIST v1\n");
  guard_.SetMirrors({"b.example:8080"});
  const std::string list = "/base/vrl/newvrl/g.vrl";
  auto from_b = [&] {
    std::set<std::string> got;
    for (const std::string& url : engine_.fetched)
      if (HostOf(url) == "b.example:8080") got.insert(url.substr(url.find("/base")));
    return got;
  };
  const std::set<std::string> all_three{list, list + ".manifest", list + ".manifest.minisig"};

  engine_.files["a.example"][list] = "LIST v2\n";  // tampered, same size
  ASSERT_EQ(Check(), 0) << GetLastErrorInfo().text;
  EXPECT_EQ(from_b(), all_three);
  std::string text;
  ASSERT_TRUE(platform::ReadWholeFile(local_ + "g.vrl", &text));
  EXPECT_EQ(text, "LIST v1\n");
  // The host that passed the check is asked first for the files.
  engine_.fetched.clear();
  EXPECT_EQ(FetchArchive(), 0);
  EXPECT_EQ(engine_.fetched, std::vector<std::string>{"http://b.example:8080/base/dist/g/a.zip"});

  // A good list beside a manifest signed by another key: the list is not
  // taken from that host either.
  MinisignSecretKey other = NewKey();
  Publish("b.example:8080", 1000, "LIST v1\n", &other);
  Publish("a.example", 1000, "LIST v1\n");
  engine_.fetched.clear();
  ASSERT_EQ(Check(), 0) << GetLastErrorInfo().text;
  EXPECT_EQ(engine_.fetched.back(), "http://a.example" + list + ".manifest.minisig");

  // Every host fails: the release's failure is reported, not the dead host.
  engine_.files["a.example"].erase(list + ".manifest.minisig");
  engine_.down.insert("b.example:8080");
  EXPECT_EQ(Check(), kReleaseUnsigned);
  EXPECT_NE(std::string(GetLastErrorInfo().text).find("NOT SIGNED"), std::string::npos);
  EXPECT_FALSE(Exists("g.vrl"));
  EXPECT_FALSE(Exists("g.vrl.manifest"));
  EXPECT_EQ(FetchArchive(), kReleaseNotInManifest);
  engine_.down.insert("a.example");
  EXPECT_EQ(Check(), 33);  // only dead hosts: the network's failure

  // The local disk's failure is no host's: no other host is asked.
  engine_.down.clear();
  engine_.local_failure = 13;
  engine_.fetched.clear();
  EXPECT_EQ(Check(), 13);
  EXPECT_EQ(engine_.fetched.size(), 1u);
}

// Methods that take their server from the connection reach no mirror, in
// the check as in the update.
TEST_F(ReleaseGuardTest, ACheckOverAConnectionAsksItsOwnServerOnly) {
  Publish("b.example:8080", 1000, "LIST v1\n");
  guard_.SetMirrors({"b.example:8080"});
  engine_.files["a.example"]["/base/vrl/newvrl/g.vrl"] = "LIST v2\n";
  guard_.BeginCheck(local_ + "g.vrl", "http://a.example/base/vrl/newvrl/g.vrl", kMethodHttp);
  EXPECT_EQ(guard_.FetchList([this](const char* path, const char* url) { return guard_.DownloadHttp(path, url, 0); }),
            kReleaseListMismatch);
  for (const std::string& url : engine_.fetched) EXPECT_EQ(HostOf(url), "a.example") << url;
}

// Hostile local files: a link planted at a fetched file's name between the
// engine's write and the check (another local user, or an engine that
// followed it). The clean-up of a file that fails its check never acts
// through the link: the file it points to keeps its bytes and attributes.
// Before, the clean-up cleared the read-only attribute through the link
// (chmod follows links), making the victim writable.
TEST_F(ReleaseGuardTest, AFailedFileCheckNeverTouchesWhatALinkAtItsNamePointsTo) {
  ASSERT_EQ(Check(), 0);
  ASSERT_TRUE(platform::WriteWholeFile(RootFolder() + "\\victim", "secret", 6));
  ASSERT_TRUE(platform::SetPathAttributes(RootFolder() + "\\victim", platform::kAttrReadOnly));
  engine_.files["a.example"]["/base/dist/g/a.zip"] = "archive-bytez";  // fails its hash
  bool planted = false;
  engine_.write_instead = [&](const std::string&) {
    planted = platform::MakeLink(root_ + "/victim", root_ + "/a.zip");
    return planted;
  };
  int32_t result = FetchArchive();
  if (!planted) GTEST_SKIP() << platform::kNoLinksHere;
  EXPECT_EQ(result, kReleaseFileMismatch);
  platform::FileInfo info;
  ASSERT_TRUE(platform::GetFileInfo(RootFolder() + "\\victim", &info));
  EXPECT_NE(info.attributes & platform::kAttrReadOnly, 0u);
  std::string kept;
  ASSERT_TRUE(platform::ReadWholeFile(RootFolder() + "\\victim", &kept));
  EXPECT_EQ(kept, "secret");
  // The same when the verdict follows the fetch (the link planted anew).
  ASSERT_EQ(std::remove((root_ + "/a.zip").c_str()), 0);
  guard_.DeferVerdicts(true);
  EXPECT_EQ(FetchArchive(), 0);
  std::shared_ptr<FileVerdict> verdict = guard_.TakeDeferredVerdict();
  ASSERT_NE(verdict, nullptr);
  EXPECT_EQ(verdict->Await(), kReleaseFileMismatch);
  ASSERT_TRUE(platform::GetFileInfo(RootFolder() + "\\victim", &info));
  EXPECT_NE(info.attributes & platform::kAttrReadOnly, 0u);
  ASSERT_TRUE(platform::ReadWholeFile(RootFolder() + "\\victim", &kept));
  EXPECT_EQ(kept, "secret");
  platform::SetPathAttributes(RootFolder() + "\\victim", platform::kAttrNormal);
}

// Deferred verdicts: the fetch returns once the bytes are written and the
// verdict follows; a file that fails it is gone by the time anybody learns
// so, with the same code and reason as a verdict given at once.
TEST_F(ReleaseGuardTest, ADeferredVerdictFollowsTheBytesAndAFailingFileGoesAtOnce) {
  ASSERT_EQ(Check(), 0);
  EXPECT_EQ(FetchArchive(), 0);
  EXPECT_EQ(guard_.TakeDeferredVerdict(), nullptr);  // off: judged before the fetch returned

  engine_.files["a.example"]["/base/dist/g/a.zip"] = "archive-bytez";
  EXPECT_EQ(FetchArchive(), kReleaseFileMismatch);
  const std::string at_once = GetLastErrorInfo().text;

  guard_.DeferVerdicts(true);
  EXPECT_EQ(FetchArchive(), 0);  // the verdict is still to come
  std::shared_ptr<FileVerdict> verdict = guard_.TakeDeferredVerdict();
  ASSERT_NE(verdict, nullptr);
  EXPECT_EQ(guard_.TakeDeferredVerdict(), nullptr);  // handed out once
  EXPECT_FALSE(verdict->Wait());
  EXPECT_FALSE(Exists("a.zip"));
  SetLastErrorInfo(0, 0, nullptr);
  EXPECT_EQ(verdict->Await(), kReleaseFileMismatch);
  EXPECT_EQ(std::string(GetLastErrorInfo().text), at_once);

  // A resumed partial file is judged whole, its own bytes in front.
  engine_.files["a.example"]["/base/dist/g/a.zip"] = "archive-bytes";
  engine_.resume = true;
  ASSERT_TRUE(platform::WriteWholeFile(local_ + "a.zip.dwn", "ARCH", 4));
  EXPECT_EQ(FetchArchive(), 0);
  verdict = guard_.TakeDeferredVerdict();
  ASSERT_NE(verdict, nullptr);
  EXPECT_EQ(verdict->Await(), kReleaseFileMismatch);
  EXPECT_FALSE(Exists("a.zip"));
  ASSERT_TRUE(platform::WriteWholeFile(local_ + "a.zip.dwn", "arch", 4));
  EXPECT_EQ(FetchArchive(), 0);
  verdict = guard_.TakeDeferredVerdict();
  ASSERT_NE(verdict, nullptr);
  EXPECT_EQ(verdict->Await(), 0);
  EXPECT_TRUE(Exists("a.zip"));

  // A verdict nobody takes is still given: the bad file does not stay.
  engine_.resume = false;
  engine_.files["a.example"]["/base/dist/g/a.zip"] = "archive-BYTES";
  EXPECT_EQ(FetchArchive(), 0);
  guard_.DeferVerdicts(false);
  EXPECT_EQ(guard_.TakeDeferredVerdict(), nullptr);
  engine_.files["a.example"]["/base/dist/g/a.zip"] = "archive-bytes";
  EXPECT_EQ(FetchArchive(), 0);  // waits for the queued verdict before its own
  EXPECT_TRUE(Exists("a.zip"));
}

// With mirrors the verdict decides which host serves the file, so it is
// given before the fetch returns even when deferring is asked for.
TEST_F(ReleaseGuardTest, WithMirrorsAFetchIsJudgedBeforeItReturns) {
  Publish("b.example:8080", 1000, "LIST v1\n");
  guard_.SetMirrors({"b.example:8080"});
  ASSERT_EQ(Check(), 0);
  guard_.DeferVerdicts(true);
  engine_.files["a.example"]["/base/dist/g/a.zip"] = "archive-BYTES";
  engine_.fetched.clear();
  EXPECT_EQ(FetchArchive(), 0);
  EXPECT_EQ(engine_.fetched.size(), 2u);  // the tampered copy, then the mirror's
  EXPECT_EQ(guard_.TakeDeferredVerdict(), nullptr);
  std::string installed;
  ASSERT_TRUE(platform::ReadWholeFile(local_ + "a.zip", &installed));
  EXPECT_EQ(installed, "archive-bytes");
}

}  // namespace

}  // namespace kivro
