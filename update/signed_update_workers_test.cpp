// An update from a signed release, through the release guard, with the
// verdict on each file following its bytes: a file that fails is never
// handed to the applier, the update fails as it always did, and a resume
// fetches that file again.
#include <gtest/gtest.h>
#include <sodium.h>

#include <algorithm>
#include <map>

#include "platform/file.h"
#include "platform/testing/temp_root.h"
#include "update/manager_fixture.h"
#include "update/release_guard.h"

namespace kivro::manager_test {
namespace {

using release_guard_detail::UrlPath;

// Serves bytes by URL path, writes them to the local file and shows them to
// the tap in chunks, as CNet does. Fetching `hold_url` waits for `release`
// or a stop first.
class TappingEngine : public I_Download, public I_ReceiveTapHost {
 public:
  std::map<std::string, std::string> files;  // URL path -> bytes
  std::string hold_url;
  Signal held, release;

  std::vector<std::string> Fetched() {
    std::lock_guard<std::mutex> lock(mutex_);
    return fetched_;
  }
  void ClearFetched() {
    std::lock_guard<std::mutex> lock(mutex_);
    fetched_.clear();
  }

  void SetReceiveTap(I_ReceiveTap* tap) override { tap_ = tap; }
  void SetOption(int32_t, const char*) override {}
  void SetCancelCheck(CancelCheckFn check) override { cancel_ = check; }
  void SetProgressCallback(DownloadProgressFn) override {}
  void SetPercentCallback(PercentFn) override {}
  int32_t OpenUrlSession(const char*) override { return 0; }
  int32_t DownloadUrl(const char* local, const char* url, int32_t) override {
    std::string path;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      fetched_.push_back(url);
      if (!UrlPath(url, &path) || files.count(path) == 0) return 33;
      path = files[path];  // the bytes, copied under the lock
    }
    if (url == hold_url) {
      held.Raise();
      if (!release.WaitOrStop(cancel_.load())) return 1;
    }
    // Written first, then shown to the tap: the fetch returns as soon as the
    // bytes are queued, with their hash still to run.
    platform::CreateParentDirectories(local);
    if (!platform::WriteWholeFile(local, path.data(), path.size())) return 13;
    if (tap_ != nullptr) {
      tap_->OnReceiveStart(local, 0);
      for (size_t at = 0; at < path.size(); at += 65536)
        tap_->OnReceived(path.data() + at,
                         static_cast<uint32_t>(std::min<size_t>(65536, path.size() - at)));
    }
    return 0;
  }
  void CloseUrlSession() override {}
  int32_t ConnectHttp(const char*, const char*, const char*, const char*, int32_t) override {
    return 0;
  }
  int32_t DownloadHttp(const char* l, const char* u, int32_t r) override {
    return DownloadUrl(l, u, r);
  }
  void CloseHttp() override {}
  int32_t ConnectFtp(const char*, const char*, const char*, const char*, int32_t) override {
    return 0;
  }
  int32_t DownloadFtp(const char* l, const char* u, int32_t r) override {
    return DownloadUrl(l, u, r);
  }
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
  std::mutex mutex_;
  std::vector<std::string> fetched_;
  I_ReceiveTap* tap_ = nullptr;
  std::atomic<CancelCheckFn> cancel_{nullptr};
};

// The machine of one test: a private root, so that "C:\game" is a folder
// of its own.
struct PrivateRoot : platform::TempRootTest {
  void TestBody() override {}
  using TempRootTest::SetUp;
  using TempRootTest::TearDown;
};

class SignedUpdateTest : public ManagerTest {
 protected:
  static constexpr const char* kList = "http://dl.test/vrl/newvrl/gobanvista.vrl";

  void SetUp() override {
    root_.SetUp();
    ManagerTest::SetUp();
    ASSERT_TRUE(MinisignReady());
    uint8_t public_half[32];
    crypto_sign_keypair(public_half, key_.key);
    randombytes_buf(key_.key_id, 8);
    std::string error;
    ASSERT_TRUE(guard_.SetPublicKey(MinisignPublicKeyLine(MinisignPublicHalf(key_)), &error))
        << error;
    guard_.SetReplayRecord(kReleaseRecordKey, "C:\\game");
    m->SetPatchInfo(&info);
    m->SetDownloader(&engine_);
    m->SetApplier(&applier);
    m->SetReleaseGuard(&guard_);
  }
  void TearDown() override {
    engine_.release.Raise();
    ManagerTest::TearDown();
    root_.TearDown();
  }

  // Signs a release of archives named `names` (each `size` bytes), checks
  // it, and puts the items on the download list.
  void CheckRelease(const std::vector<std::string>& names, size_t size = 5000) {
    ReleaseManifest manifest;
    manifest.published = 1000;
    engine_.files["/vrl/newvrl/gobanvista.vrl"] = "LIST\n";
    for (const std::string& name : names) {
      std::string bytes(size, '\0');
      randombytes_buf(bytes.data(), bytes.size());
      engine_.files["/dist/" + name + ".zip"] = bytes;
      info.items.push_back({1, name});
    }
    for (const auto& [path, bytes] : engine_.files) {
      ManifestEntry entry;
      entry.path = path.substr(1);
      entry.size = bytes.size();
      crypto_hash_sha256(entry.sha256, reinterpret_cast<const uint8_t*>(bytes.data()),
                         bytes.size());
      manifest.entries.push_back(entry);
    }
    std::string text = FormatReleaseManifest(manifest);
    engine_.files["/vrl/newvrl/gobanvista.vrl.manifest"] = text;
    engine_.files["/vrl/newvrl/gobanvista.vrl.manifest.minisig"] =
        SignMinisign(key_, text.data(), text.size(), "timestamp:1");
    CheckDone();
    engine_.ClearFetched();
  }
  // Another archive of the same size in place of the signed one.
  std::string Tamper(const std::string& name) {
    std::string& bytes = engine_.files["/dist/" + name + ".zip"];
    std::string good = bytes;
    bytes[bytes.size() / 2] ^= 0x40;
    return good;
  }
  bool Exists(const std::string& name) {
    return platform::FileExists("C:\\game\\" + name + ".zip");
  }
  static std::string Url(const std::string& name) { return "http://dl.test/dist/" + name + ".zip"; }

  PrivateRoot root_;
  TappingEngine engine_;
  CReleaseGuard guard_;
  MinisignSecretKey key_;
};

TEST_F(SignedUpdateTest, EveryFileIsCheckedBeforeItIsAppliedAndAppliedInOrder) {
  std::vector<std::string> names;
  for (int i = 0; i < 40; ++i) names.push_back("f" + std::to_string(i));
  CheckRelease(names, 70000);
  m->StartUpdate();
  EXPECT_EQ(std::vector<int32_t>{RESULT_UPDATE_DONE}, Settle(1));
  EXPECT_EQ(applier.Applied(), names);
  std::vector<std::pair<int32_t, int32_t>> counts;
  for (int i = 1; i <= 40; ++i) counts.emplace_back(40, i);
  EXPECT_EQ(Log().download_counts, counts);
  EXPECT_EQ(Log().apply_counts, counts);
  for (const std::string& name : names) EXPECT_TRUE(Exists(name)) << name;
}

// A file that fails in the middle: never applied, deleted, the update
// fails with the file named, nothing after it is applied; a resume once
// the server is mended fetches that file again and completes.
TEST_F(SignedUpdateTest, AFileThatFailsInTheMiddleIsNeverAppliedAndIsFetchedAgainOnResume) {
  CheckRelease({"a", "b", "c", "d"});
  const std::string good_b = Tamper("b");
  m->StartUpdate();
  EXPECT_EQ(std::vector<int32_t>{RESULT_UPDATE_FAILED}, Settle(1));
  for (const std::string& name : applier.Applied()) EXPECT_EQ(name, "a");
  EXPECT_FALSE(Exists("b"));
  LastErrorRecord e = GetLastErrorInfo();
  EXPECT_EQ(e.code, kReleaseFileMismatch);
  EXPECT_NE(std::string(e.text).find("/dist/b.zip"), std::string::npos) << e.text;
  EXPECT_NE(std::string(e.text).find("SHA-256 DIFFERS"), std::string::npos) << e.text;
  // At most the file after it was fetched meanwhile; nothing further.
  std::vector<std::string> fetched = engine_.Fetched();
  EXPECT_EQ(std::count(fetched.begin(), fetched.end(), Url("d")), 0);
  EXPECT_EQ(Log().download_counts, (std::vector<std::pair<int32_t, int32_t>>{{4, 1}}));

  engine_.files["/dist/b.zip"] = good_b;
  engine_.ClearFetched();
  Log().Clear();
  m->ResumeUpdate();
  EXPECT_EQ(std::vector<int32_t>{RESULT_UPDATE_DONE}, Settle(1));
  fetched = engine_.Fetched();
  ASSERT_FALSE(fetched.empty());
  EXPECT_EQ(fetched.front(), Url("b"));
  EXPECT_EQ(std::count(fetched.begin(), fetched.end(), Url("a")), 0);
  EXPECT_EQ(applier.Applied(), (std::vector<std::string>{"a", "b", "c", "d"}));
  EXPECT_TRUE(Exists("b"));
}

// The stop comes while the next file is being fetched and the verdict on
// the one before is still to come: a failing file is not applied, and the
// update ends failed (the file failed before the stop took effect).
TEST_F(SignedUpdateTest, AFailingVerdictThatArrivesAfterAStopFailsAndAppliesNothing) {
  // Large enough that its hash is still running when the stop comes.
  CheckRelease({"a", "b"}, 6 << 20);
  Tamper("a");
  engine_.hold_url = Url("b");
  m->StartUpdate();
  // The fetch of b begins only after a's bytes were queued for their hash,
  // and waits for the stop.
  ASSERT_TRUE(engine_.held.Wait());
  m->Cancel();
  EXPECT_EQ(std::vector<int32_t>{RESULT_UPDATE_FAILED}, Settle(1));
  EXPECT_TRUE(applier.Applied().empty());
  EXPECT_FALSE(Exists("a"));
  EXPECT_EQ(GetLastErrorInfo().code, kReleaseFileMismatch);
  EXPECT_TRUE(Log().download_counts.empty());
}

// A good file whose verdict comes after the stop is handed over as if it
// had come first: the update ends canceled, and a resume fetches only what
// was left.
TEST_F(SignedUpdateTest, AGoodVerdictThatArrivesAfterAStopKeepsTheFile) {
  CheckRelease({"a", "b"}, 6 << 20);
  engine_.hold_url = Url("b");
  m->StartUpdate();
  ASSERT_TRUE(engine_.held.Wait());
  m->Cancel();
  EXPECT_EQ(std::vector<int32_t>{RESULT_UPDATE_CANCELED}, Settle(1));
  EXPECT_TRUE(Exists("a"));
  // a was handed over; b's fetch was stopped and stays to be done.
  EXPECT_EQ(Log().download_counts, (std::vector<std::pair<int32_t, int32_t>>{{2, 1}}));

  engine_.hold_url.clear();
  engine_.ClearFetched();
  Log().Clear();
  m->ResumeUpdate();
  EXPECT_EQ(std::vector<int32_t>{RESULT_UPDATE_DONE}, Settle(1));
  EXPECT_EQ(engine_.Fetched(), std::vector<std::string>{Url("b")});
  std::vector<std::string> applied = applier.Applied();
  EXPECT_EQ(applied, (std::vector<std::string>{"a", "b"}));
}

}  // namespace
}  // namespace kivro::manager_test
