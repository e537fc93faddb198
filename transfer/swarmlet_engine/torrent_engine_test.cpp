// The swarm engine behind CSwarmlet, against nginx on loopback as the web
// seed. The engine "Swarmlet.dll" sits beside this program with a settings
// file for loopback (no DHT, no local discovery, several peers on one
// address, a 3 s stall time). Swarms of several players are tested with
// separate processes (tools/kivro_update_swarm_test.cpp): one process has
// one engine session.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <memory>
#include <thread>

#include "platform/dynlib.h"
#include "platform/internet_socket.h"
#include "platform/paths.h"
#include "platform/testing/links.h"
#include "tools/kivro_publish_torrent.h"
#include "transfer/swarmlet.h"
#include "transfer/swarmlet_api.h"
#include "transfer/swarmlet_meta.h"
#include "transfer/test_support/test_servers.h"
#include "update/last_error.h"

namespace kivro {

namespace {

using kivro_test::TempDir;

std::vector<std::pair<uint32_t, uint32_t>> g_progress;
std::vector<int32_t> g_percents;
bool g_cancel_when_bytes = false;
void OnProgress(uint32_t total, uint32_t received) { g_progress.emplace_back(total, received); }
void OnPercent(int32_t percent) { g_percents.push_back(percent); }
// Stops the download once 1 MiB is verified (and before the end).
int32_t OnCancel() {
  if (!g_cancel_when_bytes || g_progress.empty()) return 0;
  return g_progress.back().second >= 1024 * 1024 ? 1 : 0;
}

constexpr uint32_t kSize = 3 * 1024 * 1024 + 12345;  // not a whole number of pieces

class TorrentEngine : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    if (!kivro_test::NginxServer::Available()) return;
    root_ = new TempDir("swarmseed");
    nginx_ = new kivro_test::NginxServer;
    nginx_->LogBytes();
    std::string why;
    // /slow/ is the same tree at 512 KB/s, for a download to be stopped
    // in the middle.
    started_ = nginx_->Start(root_->Posix(), &why,
                             "    location /slow/ { alias " + root_->Posix() +
                                 "/; limit_rate 512k; }\n");
    why_ = why;
    if (!started_) return;
    content_ = kivro_test::PatternBytes(kSize, 41);
    kivro_test::WritePosixFile(root_->PosixPath("dist/a.zip"), content_);
    kivro_test::WritePosixFile(root_->PosixPath("dist/b.zip"), content_);
    kivro_test::WritePosixFile(root_->PosixPath("dist/c.zip"), content_);
    Publish("dist/a.zip", "/dist/a.zip", true);
    Publish("dist/b.zip", "/dist/gone.zip", true);  // web seed that answers 404
    Publish("dist/c.zip", "/slow/dist/c.zip", true);
    Publish("dist/plain.zip", "/dist/a.zip", false, "dist/a.zip");  // no torrent
  }
  static void TearDownTestSuite() {
    delete nginx_;
    nginx_ = nullptr;
    delete root_;
    root_ = nullptr;
  }
  // Writes "<path>.torrent" (web seed `seed_path` on nginx) and the meta
  // file naming it, as the publisher does.
  static void Publish(const std::string& path, const std::string& seed_path, bool torrent,
                      const std::string& file = "") {
    std::string real = file.empty() ? path : file;
    SwarmletMeta meta;
    meta.name = path.substr(path.rfind('/') + 1);
    meta.size = content_.size();
    meta.sources.push_back(nginx_->BaseUrl() + seed_path);
    if (torrent) {
      std::string bytes, error;
      ASSERT_TRUE(MakeTorrent(root_->WinPath(real), nginx_->BaseUrl() + seed_path, &bytes, &error))
          << error;
      kivro_test::WritePosixFile(root_->PosixPath(path + ".torrent"), bytes);
      meta.torrent = meta.name + ".torrent";
    }
    kivro_test::WritePosixFile(root_->PosixPath(path + ".swarmlet"), WriteSwarmletMeta(meta));
  }
  void SetUp() override {
    if (!kivro_test::NginxServer::Available()) GTEST_SKIP() << "nginx is not installed";
    ASSERT_TRUE(started_) << why_;
    CSwarmlet::SetPollInterval(20);
    g_progress.clear();
    g_percents.clear();
    g_cancel_when_bytes = false;
    SetLastErrorInfo(0, 0, nullptr);
    adapter_ = std::make_unique<CSwarmlet>();
    ASSERT_TRUE(adapter_->Loaded()) << "Swarmlet.dll must sit beside the test program";
    adapter_->SetProgressCallback(OnProgress);
    adapter_->SetPercentCallback(OnPercent);
    adapter_->SetCancelCheck(OnCancel);
    ASSERT_EQ(adapter_->OpenUrlSession("LAUNCHER"), 0);
  }
  void TearDown() override { adapter_.reset(); }
  std::string Url(const std::string& path) { return nginx_->BaseUrl() + "/" + path; }
  std::string Local(const std::string& name) {
    std::string content;
    kivro_test::ReadPosixFile(dir_.PosixPath(name), &content);
    return content;
  }
  int32_t Fetch(const std::string& local, const std::string& path) {
    return adapter_->DownloadUrl(dir_.WinPath(local).c_str(), Url(path).c_str(), 0);
  }

  static TempDir* root_;
  static kivro_test::NginxServer* nginx_;
  static bool started_;
  static std::string why_;
  static std::string content_;
  std::unique_ptr<CSwarmlet> adapter_;
  TempDir dir_;
};
TempDir* TorrentEngine::root_ = nullptr;
kivro_test::NginxServer* TorrentEngine::nginx_ = nullptr;
bool TorrentEngine::started_ = false;
std::string TorrentEngine::why_;
std::string TorrentEngine::content_;

// Waits (at most 3 s) until nginx logged at least `at_least` bytes of
// `path`, then answers what it logged.
uint64_t ServedAtLeast(const kivro_test::NginxServer& nginx, const std::string& path,
                       uint64_t at_least) {
  uint64_t served = nginx.ServedBytes(path);
  for (int i = 0; i < 300 && served < at_least; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    served = nginx.ServedBytes(path);
  }
  return served;
}


// Another player in this process: a copy of the engine library in a folder
// of its own, with its own settings file and so its own libtorrent session,
// driven through its exports in the adapter's order. N tells the copies'
// callbacks apart.
template <int N>
class OtherPlayer {
 public:
  ~OtherPlayer() {
    if (uninit_ != nullptr) uninit_();
  }
  bool Start(const std::string& settings) {
    namespace fs = std::filesystem;
    std::error_code ec;
    fs::copy_file(platform::ToPosixPath(platform::ProgramDirectory()) + "/" + kSwarmletLibraryName,
                  folder_.PosixPath(kSwarmletLibraryName), ec);
    if (ec || !kivro_test::WritePosixFile(folder_.PosixPath("Swarmlet.ini"), settings) ||
        !library_.Load(folder_.WinPath(kSwarmletLibraryName)))
      return false;
    auto init = reinterpret_cast<SwarmletModuleInitFn>(library_.Find("ModuleInit"));
    uninit_ = reinterpret_cast<SwarmletModuleUninitFn>(library_.Find("ModuleUninit"));
    set_upload_ = reinterpret_cast<SwarmletSetRateLimitFn>(library_.Find("SetUploadRateLimit"));
    create_ = reinterpret_cast<SwarmletCreateFn>(library_.Find("CreateSingleSwarmlet"));
    start_ = reinterpret_cast<SwarmletStartDownloadFn>(library_.Find("StartDownload"));
    on_complete_ = reinterpret_cast<SwarmletSetCallbackFn>(library_.Find("SetOnDownloadComplete"));
    on_error_ = reinterpret_cast<SwarmletSetCallbackFn>(library_.Find("SetOnError"));
    if (!init || !uninit_ || !set_upload_ || !create_ || !start_ || !on_complete_ || !on_error_)
      return false;
    ready_ = -1;
    if (init(&OnInit, 0) != 0) return false;
    for (int i = 0; i < 500 && ready_ < 0; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    return ready_ == 0;
  }
  void SetUploadLimit(int32_t bytes_per_second) { set_upload_(bytes_per_second); }
  // 0 when the file at `url` is complete in `directory`, else the engine's
  // error code. The engine reads the file's meta file, as the adapter asks.
  uint32_t Fetch(const std::string& url, const std::string& directory) {
    std::string meta_url = url + ".swarmlet";
    uint32_t handle = create_();
    result_ = kRunning;
    on_complete_(handle, &OnComplete);
    on_error_(handle, &OnError);
    if (start_(handle, meta_url.c_str(), "", "", directory.c_str(), 0, 0) != 0) return kRunning;
    for (int i = 0; i < 6000 && result_ == kRunning; ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    return result_;
  }

 private:
  static constexpr uint32_t kRunning = 0xFFFFFFFF;
  static void OnInit(uint32_t result, uint32_t) { ready_ = result == 0 ? 0 : 1; }
  static void OnComplete(uint32_t, uint32_t) { result_ = 0; }
  static void OnError(uint32_t, uint32_t code) { result_ = code; }
  static inline std::atomic<int> ready_{-1};
  static inline std::atomic<uint32_t> result_{kRunning};

  TempDir folder_{"player"};
  platform::DynamicLibrary library_;
  SwarmletModuleUninitFn uninit_ = nullptr;
  SwarmletSetRateLimitFn set_upload_ = nullptr;
  SwarmletCreateFn create_ = nullptr;
  SwarmletStartDownloadFn start_ = nullptr;
  SwarmletSetCallbackFn on_complete_ = nullptr;
  SwarmletSetCallbackFn on_error_ = nullptr;
};

// Settings of a player on loopback; `seeder_port` (when not 0) is a peer it
// knows.
std::string LoopbackSettings(uint16_t port, int32_t seed_seconds, uint16_t seeder_port) {
  std::string s = "listen = 127.0.0.1:" + std::to_string(port) +
                  "\nlisten_retries = 0\ndht = 0\nlsd = 0\nutp = 0\nsame_ip_peers = 1\nstall_seconds = 3\n"
                  "seed_seconds = " + std::to_string(seed_seconds) + "\n";
  if (seeder_port != 0) s += "peer = 127.0.0.1:" + std::to_string(seeder_port) + "\n";
  return s;
}

TEST_F(TorrentEngine, ASwarmOfOneCompletesFromTheWebSeed) {
  uint64_t before = nginx_->ServedBytes("/dist/a.zip");
  ASSERT_EQ(Fetch("install/a.zip", "dist/a.zip"), 0) << GetLastErrorInfo().text;
  EXPECT_TRUE(Local("install/a.zip") == content_);
  EXPECT_FALSE(kivro_test::PosixFileExists(dir_.PosixPath("install/a.zip.part")));
  ASSERT_FALSE(g_progress.empty());
  EXPECT_EQ(g_progress.back(), std::make_pair(kSize, kSize));
  ASSERT_FALSE(g_percents.empty());
  EXPECT_EQ(g_percents.back(), 100);
  // Every piece came from the web seed once.
  EXPECT_EQ(ServedAtLeast(*nginx_, "/dist/a.zip", before + kSize) - before, uint64_t{kSize});
}

TEST_F(TorrentEngine, TheSameFileAgainWhileItIsSeededCompletes) {
  ASSERT_EQ(Fetch("one/a.zip", "dist/a.zip"), 0) << GetLastErrorInfo().text;
  ASSERT_EQ(Fetch("two/a.zip", "dist/a.zip"), 0) << GetLastErrorInfo().text;
  EXPECT_TRUE(Local("two/a.zip") == content_);
}

TEST_F(TorrentEngine, AFailingWebSeedWithoutPeersEndsAfterTheStallTime) {
  auto started = std::chrono::steady_clock::now();
  EXPECT_EQ(Fetch("b.zip", "dist/b.zip"), 24);
  EXPECT_STREQ(GetLastErrorInfo().text, "SWARMLET CORE ERROR[3]");
  // The settings beside the engine say 3 s; an upper bound far above it
  // only tells a stall rule from a hang.
  EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(60));
  EXPECT_FALSE(kivro_test::PosixFileExists(dir_.PosixPath("b.zip")));
}

TEST_F(TorrentEngine, AnEmptyFileNeedsNoTorrent) {
  SwarmletMeta meta;
  meta.name = "empty.zip";
  meta.size = 0;
  meta.sources = {Url("dist/empty.zip")};
  kivro_test::WritePosixFile(root_->PosixPath("dist/empty.zip.swarmlet"), WriteSwarmletMeta(meta));
  kivro_test::WritePosixFile(dir_.PosixPath("e/empty.zip"), "old content");
  ASSERT_EQ(Fetch("e/empty.zip", "dist/empty.zip"), 0) << GetLastErrorInfo().text;
  ASSERT_TRUE(kivro_test::PosixFileExists(dir_.PosixPath("e/empty.zip")));
  EXPECT_EQ(Local("e/empty.zip"), "");
}

TEST_F(TorrentEngine, MetaFilesAndTorrentsThatDoNotServeAreEngineErrors) {
  EXPECT_EQ(Fetch("x.zip", "dist/nothing.zip"), 24);
  EXPECT_STREQ(GetLastErrorInfo().text, "SWARMLET CORE ERROR[1]");
  // A release published without torrents: the swarm engine cannot serve it.
  EXPECT_EQ(Fetch("plain.zip", "dist/plain.zip"), 24);
  EXPECT_STREQ(GetLastErrorInfo().text, "SWARMLET CORE ERROR[2]");
  // A meta file naming a torrent that is not there.
  SwarmletMeta meta;
  meta.name = "a.zip";
  meta.size = kSize;
  meta.sources = {Url("dist/a.zip")};
  meta.torrent = "missing.torrent";
  kivro_test::WritePosixFile(root_->PosixPath("dist/m.zip.swarmlet"), WriteSwarmletMeta(meta));
  EXPECT_EQ(Fetch("m.zip", "dist/m.zip"), 24);
  EXPECT_STREQ(GetLastErrorInfo().text, "SWARMLET CORE ERROR[1]");
  // A torrent of another file than the meta file describes.
  meta.name = "wrong.zip";
  meta.size = kSize - 1;
  meta.torrent = "a.zip.torrent";
  kivro_test::WritePosixFile(root_->PosixPath("dist/wrong.zip.swarmlet"), WriteSwarmletMeta(meta));
  EXPECT_EQ(Fetch("wrong.zip", "dist/wrong.zip"), 24);
  EXPECT_STREQ(GetLastErrorInfo().text, "SWARMLET CORE ERROR[2]");
  // Bytes that are no torrent.
  kivro_test::WritePosixFile(root_->PosixPath("dist/junk.torrent"), "d4:infoi3ee");
  meta.name = "a.zip";
  meta.size = kSize;
  meta.torrent = "junk.torrent";
  kivro_test::WritePosixFile(root_->PosixPath("dist/junk.zip.swarmlet"), WriteSwarmletMeta(meta));
  EXPECT_EQ(Fetch("junk.zip", "dist/junk.zip"), 24);
  EXPECT_STREQ(GetLastErrorInfo().text, "SWARMLET CORE ERROR[2]");
}

// The adapter lifts the limits (-1); a launcher that sets one gets it for
// every source, also peers and web seeds on the local network.
TEST_F(TorrentEngine, TheDownloadRateLimitHoldsForWebSeedsOnTheLocalNetwork) {
  platform::DynamicLibrary engine;  // the adapter's engine: the same library
  ASSERT_TRUE(engine.Load(platform::ProgramDirectory() + "\\" + kSwarmletLibraryName));
  auto set_limit = reinterpret_cast<SwarmletSetRateLimitFn>(engine.Find("SetDownloadRateLimit"));
  ASSERT_NE(set_limit, nullptr);
  set_limit(1024 * 1024);  // about 3 s for the file
  auto started = std::chrono::steady_clock::now();
  int32_t result = Fetch("limited/a.zip", "dist/a.zip");
  auto took = std::chrono::steady_clock::now() - started;
  set_limit(-1);
  ASSERT_EQ(result, 0) << GetLastErrorInfo().text;
  EXPECT_TRUE(Local("limited/a.zip") == content_);
  // A lower bound only (a loaded machine makes it slower, never faster),
  // with a second of burst allowed.
  EXPECT_GE(took, std::chrono::milliseconds(1800));
}

TEST_F(TorrentEngine, CancelKeepsThePartFileAndTheNextRunFetchesOnlyTheRest) {
  uint64_t before = nginx_->ServedBytes("/slow/dist/c.zip");
  g_cancel_when_bytes = true;
  EXPECT_EQ(Fetch("c.zip", "dist/c.zip"), 1);
  EXPECT_TRUE(kivro_test::PosixFileExists(dir_.PosixPath("c.zip.part")));
  EXPECT_FALSE(kivro_test::PosixFileExists(dir_.PosixPath("c.zip")));
  uint32_t kept = g_progress.back().second;
  ASSERT_GE(kept, 1024u * 1024);
  ASSERT_LT(kept, kSize);

  g_cancel_when_bytes = false;
  g_progress.clear();
  ASSERT_EQ(Fetch("c.zip", "dist/c.zip"), 0) << GetLastErrorInfo().text;
  EXPECT_TRUE(Local("c.zip") == content_);
  EXPECT_FALSE(kivro_test::PosixFileExists(dir_.PosixPath("c.zip.part")));
  // The verified megabyte of the first run was kept: the two runs together
  // fetched less than the file plus what the first run had in flight.
  uint64_t served = ServedAtLeast(*nginx_, "/slow/dist/c.zip", before + kSize - kept) - before;
  EXPECT_LT(served, uint64_t{kSize} + 512 * 1024) << "served " << served;
}

// Hostile local files: a link planted at the part file's name (or the
// target's). libtorrent opens the part file by its name, so the engine
// refuses such a name before the torrent is added: engine error 4, the
// link's target untouched. Before, libtorrent wrote the pieces into the
// file the link pointed to, and the rename then put the link in place.
TEST_F(TorrentEngine, ALinkAtThePartFileOrTheTargetFailsTheDownload) {
  TempDir outside;
  kivro_test::WritePosixFile(outside.PosixPath("victim"), "keep");
  for (const char* planted : {"a.zip.part", "a.zip"}) {
    TempDir folder;
    if (!platform::MakeLink(outside.PosixPath("victim"), folder.PosixPath(planted)))
      GTEST_SKIP() << platform::kNoLinksHere;
    EXPECT_EQ(adapter_->DownloadUrl(folder.WinPath("a.zip").c_str(), Url("dist/a.zip").c_str(), 0), 24)
        << planted;
    EXPECT_STREQ(GetLastErrorInfo().text, "SWARMLET CORE ERROR[4]") << planted;
    std::string victim;
    kivro_test::ReadPosixFile(outside.PosixPath("victim"), &victim);
    EXPECT_TRUE(victim == "keep") << planted;  // not the 3 MiB download
  }
}

// A player that completed a file serves it to others for the seed time of
// its settings, and no longer: the second player's web seed is dead, so the
// seeder is its only source.
TEST_F(TorrentEngine, ASeederServesOthersForItsSeedTimeOnly) {
  kivro_test::WritePosixFile(root_->PosixPath("dist/s.zip"), content_);
  Publish("dist/s.zip", "/dist/s.zip", true);
  Publish("dead/s.zip", "/gone/s.zip", true, "dist/s.zip");  // the same torrent, no web seed
  uint16_t seeder_port = platform::FindFreeLoopbackPort();
  OtherPlayer<1> seeder;
  ASSERT_TRUE(seeder.Start(LoopbackSettings(seeder_port, 5, 0)));
  OtherPlayer<2> player;
  ASSERT_TRUE(player.Start(LoopbackSettings(0, 0, seeder_port)));

  ASSERT_EQ(seeder.Fetch(Url("dist/s.zip"), dir_.WinPath("seeder")), 0u);
  auto seeding_since = std::chrono::steady_clock::now();
  ASSERT_EQ(player.Fetch(Url("dead/s.zip"), dir_.WinPath("one")), 0u);
  EXPECT_TRUE(Local("one/s.zip") == content_);
  // Only a meaningful check while the seed time lasted.
  ASSERT_LT(std::chrono::steady_clock::now() - seeding_since, std::chrono::seconds(5));

  std::this_thread::sleep_until(seeding_since + std::chrono::seconds(7));
  EXPECT_EQ(player.Fetch(Url("dead/s.zip"), dir_.WinPath("two")), uint32_t{kSwarmletErrorNoSource});
  EXPECT_FALSE(kivro_test::PosixFileExists(dir_.PosixPath("two/s.zip")));
}

// The upload limit a launcher sets holds for peers on the local network,
// which libtorrent would otherwise exempt.
TEST_F(TorrentEngine, TheUploadRateLimitHoldsForPeersOnTheLocalNetwork) {
  kivro_test::WritePosixFile(root_->PosixPath("dist/u.zip"), content_);
  Publish("dist/u.zip", "/dist/u.zip", true);
  Publish("deadu/u.zip", "/gone/u.zip", true, "dist/u.zip");
  uint16_t seeder_port = platform::FindFreeLoopbackPort();
  OtherPlayer<3> seeder;
  ASSERT_TRUE(seeder.Start(LoopbackSettings(seeder_port, -1, 0)));
  OtherPlayer<4> player;
  ASSERT_TRUE(player.Start(LoopbackSettings(0, 0, seeder_port)));
  ASSERT_EQ(seeder.Fetch(Url("dist/u.zip"), dir_.WinPath("seeder")), 0u);
  seeder.SetUploadLimit(1024 * 1024);  // about 3 s for the file

  auto started = std::chrono::steady_clock::now();
  ASSERT_EQ(player.Fetch(Url("deadu/u.zip"), dir_.WinPath("limited")), 0u);
  auto took = std::chrono::steady_clock::now() - started;
  EXPECT_TRUE(Local("limited/u.zip") == content_);
  // A lower bound only, with a second of burst allowed (see the download
  // limit's test).
  EXPECT_GE(took, std::chrono::milliseconds(1800));
}

}  // namespace

}  // namespace kivro
