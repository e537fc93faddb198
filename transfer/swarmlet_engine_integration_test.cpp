// End to end through the peer path: CSwarmlet drives the reference engine
// "Swarmlet.dll" (built beside this test program), which reads the meta
// file and fetches the file from nginx.
#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <sstream>

#include "platform/testing/links.h"
#include "transfer/swarmlet.h"
#include "transfer/swarmlet_meta.h"
#include "transfer/test_support/test_servers.h"
#include "update/last_error.h"

namespace kivro {

namespace {

using kivro_test::TempDir;

std::vector<std::pair<uint32_t, uint32_t>> g_progress;
std::vector<int32_t> g_percents;
int g_cancel_on = -1;
int g_cancel_calls = 0;
void OnProgress(uint32_t total, uint32_t received) { g_progress.emplace_back(total, received); }
void OnPercent(int32_t percent) { g_percents.push_back(percent); }
int32_t OnCancel() { return g_cancel_calls++ == g_cancel_on ? 1 : 0; }

class ReferenceEngine : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    if (!kivro_test::NginxServer::Available()) return;
    root_ = new TempDir("swarm");
    nginx_ = new kivro_test::NginxServer;
    std::string why;
    started_ = nginx_->Start(root_->Posix(), &why);
    why_ = why;
    if (!started_) return;
    content_ = kivro_test::PatternBytes(700000, 21);
    kivro_test::WritePosixFile(root_->PosixPath("dist/a.zip"), content_);
    Publish("dist/a.zip", "a.zip", {"/dist/a.zip"});
    Publish("dist/two.zip", "two.zip", {"/dist/missing.zip", "/dist/a.zip"});
    Publish("dist/evil.zip", "../evil.zip", {"/dist/a.zip"});
    Publish("dist/none.zip", "none.zip", {"/dist/missing.zip"});
    Publish("dist/other.zip", "a.zip", {"/dist/a.zip"});
  }
  static void TearDownTestSuite() {
    delete nginx_;
    nginx_ = nullptr;
    delete root_;
    root_ = nullptr;
  }
  // Writes the meta file "<path>.swarmlet" as the publisher does. A name the
  // writer refuses is written by hand: the engine must refuse it too.
  static void Publish(const std::string& path, const std::string& name,
                      const std::vector<std::string>& sources) {
    SwarmletMeta meta;
    meta.name = name;
    meta.size = content_.size();
    for (const std::string& s : sources) meta.sources.push_back(nginx_->BaseUrl() + s);
    std::string text = WriteSwarmletMeta(meta);
    if (text.empty()) {
      text = std::string(kSwarmletMetaMagic) + "\nname " + name + "\nsize " +
             std::to_string(meta.size) + "\nsource " + meta.sources[0] + "\n";
    }
    kivro_test::WritePosixFile(root_->PosixPath(path + ".swarmlet"), text);
  }
  void SetUp() override {
    if (!kivro_test::NginxServer::Available()) GTEST_SKIP() << "nginx is not installed";
    ASSERT_TRUE(started_) << why_;
    CSwarmlet::SetPollInterval(20);
    g_progress.clear();
    g_percents.clear();
    g_cancel_on = -1;
    g_cancel_calls = 0;
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

  static TempDir* root_;
  static kivro_test::NginxServer* nginx_;
  static bool started_;
  static std::string why_;
  static std::string content_;
  std::unique_ptr<CSwarmlet> adapter_;
  TempDir dir_;
};
TempDir* ReferenceEngine::root_ = nullptr;
kivro_test::NginxServer* ReferenceEngine::nginx_ = nullptr;
bool ReferenceEngine::started_ = false;
std::string ReferenceEngine::why_;
std::string ReferenceEngine::content_;

TEST_F(ReferenceEngine, DownloadsTheFileNamedByTheMetaFile) {
  std::string local = dir_.WinPath("install/a.zip");
  ASSERT_EQ(adapter_->DownloadUrl(local.c_str(), Url("dist/a.zip").c_str(), 0), 0);
  EXPECT_EQ(Local("install/a.zip"), content_);
  EXPECT_FALSE(kivro_test::PosixFileExists(dir_.PosixPath("install/a.zip.part")));
  ASSERT_FALSE(g_progress.empty());
  EXPECT_EQ(g_progress.back(), std::make_pair(700000u, 700000u));
  ASSERT_FALSE(g_percents.empty());
  EXPECT_EQ(g_percents.back(), 100);
}

TEST_F(ReferenceEngine, FallsBackToTheNextSource) {
  ASSERT_EQ(adapter_->DownloadHttp(dir_.WinPath("two.zip").c_str(), Url("dist/two.zip").c_str(), 0), 0);
  EXPECT_EQ(Local("two.zip"), content_);
}

TEST_F(ReferenceEngine, ContinuesAPartFileWithARange) {
  kivro_test::WritePosixFile(dir_.PosixPath("a.zip.part"), content_.substr(0, 300000));
  size_t before = nginx_->LoggedRequests();
  ASSERT_EQ(adapter_->DownloadUrl(dir_.WinPath("a.zip").c_str(), Url("dist/a.zip").c_str(), 0), 0);
  EXPECT_EQ(Local("a.zip"), content_);
  ASSERT_TRUE(nginx_->WaitForLoggedRequests(before + 2));  // the meta file and the range
  std::string log = nginx_->AccessLog();
  EXPECT_NE(log.find("GET /dist/a.zip HTTP/1.1 206"), std::string::npos) << log;
}

TEST_F(ReferenceEngine, MissingMetaFileIsEngineError1) {
  EXPECT_EQ(adapter_->DownloadUrl(dir_.WinPath("x.zip").c_str(), Url("dist/nothing.zip").c_str(), 0), 24);
  EXPECT_STREQ(GetLastErrorInfo().text, "SWARMLET CORE ERROR[1]");
}

TEST_F(ReferenceEngine, NoWorkingSourceIsEngineError3) {
  EXPECT_EQ(adapter_->DownloadUrl(dir_.WinPath("none.zip").c_str(), Url("dist/none.zip").c_str(), 0), 24);
  EXPECT_STREQ(GetLastErrorInfo().text, "SWARMLET CORE ERROR[3]");
}

TEST_F(ReferenceEngine, MetaNameThatLeavesTheFolderIsRefused) {
  EXPECT_EQ(adapter_->DownloadUrl(dir_.WinPath("in/evil.zip").c_str(), Url("dist/evil.zip").c_str(), 0), 24);
  EXPECT_STREQ(GetLastErrorInfo().text, "SWARMLET CORE ERROR[2]");
  EXPECT_FALSE(kivro_test::PosixFileExists(dir_.PosixPath("evil.zip")));
}

// A hostile server's meta file naming another file than the one asked for:
// before the fix the engine wrote "a.zip" beside it and the download of
// "other.zip" reported success with no "other.zip" on disk.
TEST_F(ReferenceEngine, MetaNamingAnotherFileIsRefusedAndNothingWritten) {
  EXPECT_EQ(adapter_->DownloadUrl(dir_.WinPath("other.zip").c_str(), Url("dist/other.zip").c_str(), 0), 24);
  EXPECT_STREQ(GetLastErrorInfo().text, "SWARMLET CORE ERROR[2]");
  EXPECT_FALSE(kivro_test::PosixFileExists(dir_.PosixPath("a.zip")));
  EXPECT_FALSE(kivro_test::PosixFileExists(dir_.PosixPath("other.zip")));
}

TEST_F(ReferenceEngine, CancelStopsTheEngineAndTheNextCallCompletes) {
  g_cancel_on = 0;
  EXPECT_EQ(adapter_->DownloadUrl(dir_.WinPath("c/a.zip").c_str(), Url("dist/a.zip").c_str(), 0), 1);
  g_cancel_on = -1;
  ASSERT_EQ(adapter_->DownloadUrl(dir_.WinPath("c/a.zip").c_str(), Url("dist/a.zip").c_str(), 0), 0);
  EXPECT_EQ(Local("c/a.zip"), content_);
}

// Hostile local files: another local user (or a program) plants a symbolic
// link at the name the engine writes its part file or its file under. The
// engine never writes, truncates or renames through it: the download fails
// with the write failure (engine error 4) and the link's target is left as
// it was; the link itself stays (it may be the user's own).
class ReferenceEngineThroughLinks : public ReferenceEngine {
 protected:
  void SetUp() override {
    ReferenceEngine::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    kivro_test::WritePosixFile(outside_.PosixPath("victim"), "keep");
  }
  std::string Victim() {
    std::string content;
    kivro_test::ReadPosixFile(outside_.PosixPath("victim"), &content);
    return content;
  }
  TempDir outside_;
};

// Before: the part file was opened through the link, truncated and the whole
// download written into the victim, then renamed into place.
TEST_F(ReferenceEngineThroughLinks, LinkAtThePartFileFailsTheDownload) {
  if (!platform::MakeLink(outside_.PosixPath("victim"), dir_.PosixPath("a.zip.part")))
    GTEST_SKIP() << platform::kNoLinksHere;
  EXPECT_EQ(adapter_->DownloadUrl(dir_.WinPath("a.zip").c_str(), Url("dist/a.zip").c_str(), 0), 24);
  EXPECT_STREQ(GetLastErrorInfo().text, "SWARMLET CORE ERROR[4]");
  EXPECT_EQ(Victim(), "keep");
  EXPECT_FALSE(kivro_test::PosixFileExists(dir_.PosixPath("a.zip")));
}

// Before: the rename replaced the link with the download, so a link of the
// user's own was lost without a word.
TEST_F(ReferenceEngineThroughLinks, LinkAtTheTargetFailsTheDownloadAndStays) {
  if (!platform::MakeLink(outside_.PosixPath("victim"), dir_.PosixPath("a.zip")))
    GTEST_SKIP() << platform::kNoLinksHere;
  EXPECT_EQ(adapter_->DownloadUrl(dir_.WinPath("a.zip").c_str(), Url("dist/a.zip").c_str(), 0), 24);
  EXPECT_STREQ(GetLastErrorInfo().text, "SWARMLET CORE ERROR[4]");
  EXPECT_EQ(Victim(), "keep");
  EXPECT_EQ(Local("a.zip"), "keep");  // still the link, not replaced by the download
  // Once the link is gone the kept part file finishes the download.
  ASSERT_EQ(std::remove(dir_.PosixPath("a.zip").c_str()), 0);
  ASSERT_EQ(adapter_->DownloadUrl(dir_.WinPath("a.zip").c_str(), Url("dist/a.zip").c_str(), 0), 0);
  EXPECT_EQ(Local("a.zip"), content_);
  EXPECT_EQ(Victim(), "keep");
}

}  // namespace

}  // namespace kivro
