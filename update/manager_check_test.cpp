// The update check, the single-file download, transfer methods, role
// selection and the forwarding operations.
#include <gtest/gtest.h>

#include <string>

#include "update/manager_fixture.h"

namespace kivro::manager_test {
namespace {

using ::testing::ElementsAre;

const char kListPath[] = "C:\\game\\gobanvista.vrl";
const char kListUrl[] = "http://dl.test/vrl/newvrl/gobanvista.vrl";

class CheckTest : public ManagerTest {};

TEST_F(CheckTest, ListEqualToDiskGivesCheckDoneAndNoDownloads) {
  UseFakes();
  downloader.SetCancelCheck(IsStopRequested);  // left over from an earlier run
  ASSERT_NE(0, m->CheckUpdate(kListPath, kListUrl));
  EXPECT_EQ(std::vector<int32_t>{RESULT_CHECK_DONE}, Settle(1));
  EXPECT_EQ(0, m->HasDownloads());
  EXPECT_THAT(downloader.Calls(),
              ElementsAre("open url LAUNCHER", std::string("fetch url ") + kListPath + " " + kListUrl + " 0",
                          "close url"));
  EXPECT_EQ(1, info.read_calls.load());
  EXPECT_EQ(kListPath, info.read_path);
  EXPECT_EQ(1, info.build_calls.load());
  // The check runs without cancel check or progress.
  EXPECT_EQ(nullptr, downloader.cancel_check.load());
  EXPECT_EQ(nullptr, downloader.progress.load());
  EXPECT_EQ(nullptr, downloader.percent.load());
  EXPECT_EQ(kStateDone, m->GetPhaseState(kPhaseCheck));
}

TEST_F(CheckTest, ListWithItemsGivesDownloads) {
  UseFakes();
  info.items = {{1, "a"}, {2, "b"}};
  ASSERT_NE(0, m->CheckUpdate(kListPath, kListUrl));
  EXPECT_EQ(std::vector<int32_t>{RESULT_CHECK_DONE}, Settle(1));
  EXPECT_EQ(1, m->HasDownloads());
}

TEST_F(CheckTest, UnfetchableListFailsWithoutReadingIt) {
  UseFakes();
  downloader.fail_url = kListUrl;
  ASSERT_NE(0, m->CheckUpdate(kListPath, kListUrl));
  EXPECT_EQ(std::vector<int32_t>{RESULT_CHECK_FAILED}, Settle(1));
  EXPECT_EQ(0, info.read_calls.load());
  EXPECT_EQ(0, info.build_calls.load());
  EXPECT_EQ(kStateFailed, m->GetPhaseState(kPhaseCheck));
}

TEST_F(CheckTest, UnreadableListFailsWithoutBuilding) {
  UseFakes();
  info.read_result = 500;
  ASSERT_NE(0, m->CheckUpdate(kListPath, kListUrl));
  EXPECT_EQ(std::vector<int32_t>{RESULT_CHECK_FAILED}, Settle(1));
  EXPECT_EQ(0, info.build_calls.load());
}

TEST_F(CheckTest, FailedBuildFailsTheCheck) {
  UseFakes();
  info.build_result = 2;
  ASSERT_NE(0, m->CheckUpdate(kListPath, kListUrl));
  EXPECT_EQ(std::vector<int32_t>{RESULT_CHECK_FAILED}, Settle(1));
}

TEST_F(CheckTest, NewCheckEmptiesTheDownloadList) {
  UseFakes();
  info.items = {{1, "a"}};
  CheckDone();
  ASSERT_EQ(1, m->HasDownloads());
  info.items.clear();
  CheckDone();
  EXPECT_EQ(0, m->HasDownloads());
}

// A role that cannot be created fails the check (result 2) with a clear
// last-error entry; nothing crashes.
TEST_F(CheckTest, MissingPatchInfoFailsTheCheck) {
  m->SetDownloader(&downloader);
  ASSERT_NE(0, m->CheckUpdate(kListPath, kListUrl));
  EXPECT_EQ(std::vector<int32_t>{RESULT_CHECK_FAILED}, Settle(1));
  EXPECT_EQ(kManagerErrorNoRole, LastErrorCode());
  EXPECT_STREQ("PATCH INFO COULD NOT BE CREATED", GetLastErrorInfo().text);
  EXPECT_TRUE(downloader.Calls().empty());
}

TEST_F(CheckTest, MissingDownloaderFailsTheCheck) {
  m->SetPatchInfo(&info);
  ASSERT_NE(0, m->CheckUpdate(kListPath, kListUrl));
  EXPECT_EQ(std::vector<int32_t>{RESULT_CHECK_FAILED}, Settle(1));
  EXPECT_EQ(kManagerErrorNoRole, LastErrorCode());
  EXPECT_EQ(0, info.read_calls.load());
}

bool FailToStart(std::function<void()>) { return false; }

TEST_F(CheckTest, WorkerThatCannotStartFailsTheCheckAtOnce) {
  UseFakes();
  launcher_testing::SetThreadStarter(FailToStart);
  EXPECT_EQ(0, m->CheckUpdate(kListPath, kListUrl));
  EXPECT_EQ(std::vector<int32_t>{RESULT_CHECK_FAILED}, Log().Results());
  EXPECT_EQ(kManagerErrorNoThread, LastErrorCode());
  // Nothing is left marked as running: the next check is accepted.
  launcher_testing::SetThreadStarter(nullptr);
  Log().Clear();
  CheckDone();
}

TEST_F(CheckTest, OverlongListPathFailsInsteadOfBeingCut) {
  UseFakes();
  std::string path = "C:\\" + std::string(300, 'p') + ".vrl";
  ASSERT_NE(0, m->CheckUpdate(path.c_str(), kListUrl));
  EXPECT_EQ(std::vector<int32_t>{RESULT_CHECK_FAILED}, Settle(1));
  EXPECT_EQ(kManagerErrorTextTooLong, LastErrorCode());
  EXPECT_TRUE(downloader.FetchedUrls().empty());
}

TEST_F(CheckTest, SecondCheckWhileTheFirstRunsIsRefused) {
  UseFakes();
  downloader.hold_url = kListUrl;
  ASSERT_NE(0, m->CheckUpdate(kListPath, kListUrl));
  ASSERT_TRUE(downloader.held.Wait());
  EXPECT_EQ(0, m->CheckUpdate(kListPath, kListUrl));
  downloader.release.Raise();
  EXPECT_EQ(std::vector<int32_t>{RESULT_CHECK_DONE}, Settle(1));
  EXPECT_EQ(1, info.read_calls.load());
  EXPECT_EQ(1u, downloader.FetchedUrls().size());
}

// ---- DownloadFile and the transfer methods ----

class DownloadFileTest : public ManagerTest {
 protected:
  void SetUp() override {
    ManagerTest::SetUp();
    m->SetDownloader(&downloader);
    m->SetServerName("dl.test");
    m->SetUserName("anon");
    m->SetPassword("pw");
    m->SetPort(2121);
  }
};

TEST_F(DownloadFileTest, EachMethodUsesItsOwnOperations) {
  const char* names[] = {"url", "ftp", "http", "ftpresume"};
  for (int32_t method = 1; method <= 4; ++method) {
    FakeDownloader fresh;
    m->SetDownloader(&fresh);
    m->SetTransferMethod(method);
    EXPECT_EQ(0, m->DownloadFile("C:\\f.zip", "http://dl.test/f.zip"));
    std::string name = names[method - 1];
    std::string open = method == 1 ? "open url LAUNCHER"
                                   : "open " + name + " LAUNCHER dl.test anon pw 2121";
    EXPECT_THAT(fresh.Calls(), ElementsAre(open, "fetch " + name + " C:\\f.zip http://dl.test/f.zip 0",
                                           "close " + name))
        << "method " << method;
  }
}

TEST_F(DownloadFileTest, UnknownMethodAnswers32WithoutTouchingTheEngine) {
  m->SetTransferMethod(5);
  EXPECT_EQ(32, m->DownloadFile("C:\\f.zip", "http://dl.test/f.zip"));
  m->SetTransferMethod(0);
  EXPECT_EQ(32, m->DownloadFile("C:\\f.zip", "http://dl.test/f.zip"));
  EXPECT_TRUE(downloader.Calls().empty());
}

TEST_F(DownloadFileTest, FailedOpenIsReturnedWithoutClose) {
  downloader.open_result = 36;
  m->SetTransferMethod(2);
  EXPECT_EQ(36, m->DownloadFile("C:\\f.zip", "ftp://dl.test/f.zip"));
  EXPECT_EQ(1u, downloader.Calls().size());
}

TEST_F(DownloadFileTest, FetchResultIsReturnedAfterClose) {
  downloader.fail_url = "http://dl.test/f.zip";
  EXPECT_EQ(35, m->DownloadFile("C:\\f.zip", "http://dl.test/f.zip"));
  EXPECT_EQ("close url", downloader.Calls().back());
}

TEST_F(DownloadFileTest, EngineReceivesTheCanonicalUrl) {
  EXPECT_EQ(0, m->DownloadFile("C:\\f.zip", "HTTP://DL.Test/dist/./x/../a b.zip"));
  EXPECT_THAT(downloader.FetchedUrls(), ElementsAre("http://dl.test/dist/a%20b.zip"));
}

TEST_F(DownloadFileTest, CanonicalUrlThatDoesNotFitIsNotCut) {
  // 250 characters, but every blank grows to three in canonical form.
  std::string url = "http://dl.test/" + std::string(100, ' ') + std::string(135, 'u');
  ASSERT_LT(url.size(), 260u);
  EXPECT_EQ(kManagerErrorTextTooLong, m->DownloadFile("C:\\f.zip", url.c_str()));
  EXPECT_EQ(kManagerErrorTextTooLong, LastErrorCode());
  EXPECT_TRUE(downloader.FetchedUrls().empty());
  EXPECT_EQ("close url", downloader.Calls().back());  // the session is still closed
}

TEST_F(DownloadFileTest, UrlTheCanonicaliserRefusesFailsTheFetch) {
  EXPECT_EQ(kManagerErrorBadUrl, m->DownloadFile("C:\\f.zip", "no scheme at all"));
  EXPECT_EQ(kManagerErrorBadUrl, LastErrorCode());
  EXPECT_TRUE(downloader.FetchedUrls().empty());
}

TEST_F(DownloadFileTest, OverlongLocalPathFailsTheFetch) {
  std::string path = "C:\\" + std::string(280, 'l');
  EXPECT_EQ(kManagerErrorTextTooLong, m->DownloadFile(path.c_str(), "http://dl.test/f.zip"));
  EXPECT_TRUE(downloader.FetchedUrls().empty());
}

TEST_F(DownloadFileTest, MissingEngineIsAnErrorCode) {
  m->SetDownloader(nullptr);  // back to the own engine, which cannot be created
  EXPECT_EQ(kManagerErrorNoRole, m->DownloadFile("C:\\f.zip", "http://dl.test/f.zip"));
  EXPECT_EQ(kManagerErrorNoRole, LastErrorCode());
}

TEST_F(DownloadFileTest, OverlongServerSettingIsRefusedNotCut) {
  std::string server(300, 's');
  m->SetServerName(server.c_str());
  EXPECT_EQ(kManagerErrorTextTooLong, LastErrorCode());
  m->SetTransferMethod(3);
  m->DownloadFile("C:\\f.zip", "http://dl.test/f.zip");
  EXPECT_EQ("open http LAUNCHER  anon pw 2121", downloader.Calls().front());
}

// ---- role selection and forwarding ----

class RoleTest : public ManagerTest {};

FakePatchInfo* g_made_info = nullptr;
FakeDownloader* g_made_net = nullptr;
FakeDownloader* g_made_swarmlet = nullptr;
FakeApplier* g_made_applier = nullptr;
int g_vrel_made = 0, g_pul_made = 0;

I_PatchInfo* MakeVrel() {
  ++g_vrel_made;
  g_made_info = new FakePatchInfo();
  g_made_info->owned_by_manager = true;
  return g_made_info;
}
I_PatchInfo* MakePul() {
  ++g_pul_made;
  auto* info = new FakePatchInfo();
  info->owned_by_manager = true;
  return info;
}
I_Download* MakeNet() { return g_made_net = new FakeDownloader(); }
I_Download* MakeSwarmlet() { return g_made_swarmlet = new FakeDownloader(); }
I_Apply* MakeApplier() { return g_made_applier = new FakeApplier(); }

const RoleFactory kFakeOwnRoles = {
    MakeVrel, MakePul, MakeNet, MakeSwarmlet, MakeApplier,
    kNoOwnRoles.package_work_folder, kNoOwnRoles.set_work_folder, kNoOwnRoles.set_package_hook,
};

TEST_F(RoleTest, KindsChooseTheOwnRoleCreatedOnFirstUse) {
  SetRoleFactory(&kFakeOwnRoles);
  g_vrel_made = g_pul_made = 0;
  m->SetSubdirMode("N_SUBDIR");
  m->SetLocalBase("C:\\game");
  EXPECT_EQ(1, g_vrel_made);  // created once, then reused
  EXPECT_EQ("N_SUBDIR", g_made_info->subdir_mode);
  EXPECT_EQ("C:\\game", g_made_info->local_base);
  m->SetPatchInfoKind(1);
  m->SetUrlBase("http://dl.test/");
  EXPECT_EQ(1, g_pul_made);

  // Downloader kind 1 (the initial one) is the peer adapter, else HTTP/FTP.
  m->SetDownloaderOption(3, "x");
  EXPECT_THAT(g_made_swarmlet->Calls(), ElementsAre("option 3 x"));
  m->SetDownloaderKind(0);
  m->SetDownloaderOption(4, "y");
  EXPECT_THAT(g_made_net->Calls(), ElementsAre("option 4 y"));
}

// A program that hands in no factory gets no own roles: the check fails
// cleanly rather than reaching for an implementation.
TEST_F(RoleTest, WithoutAFactoryEveryOwnRoleIsMissing) {
  SetRoleFactory(nullptr);
  ASSERT_NE(0, m->CheckUpdate(kListPath, kListUrl));
  EXPECT_EQ(std::vector<int32_t>{RESULT_CHECK_FAILED}, Settle(1));
  EXPECT_EQ(kManagerErrorNoRole, LastErrorCode());
  EXPECT_STREQ("PATCH INFO COULD NOT BE CREATED", GetLastErrorInfo().text);
  m->SetPatchInfo(&info);
  ASSERT_NE(0, m->CheckUpdate(kListPath, kListUrl));
  EXPECT_EQ((std::vector<int32_t>{RESULT_CHECK_FAILED, RESULT_CHECK_FAILED}), Settle(2));
  EXPECT_EQ(kManagerErrorNoRole, LastErrorCode());
  EXPECT_EQ(0, info.read_calls.load());
  m->SetPatchInfo(nullptr);
}

TEST_F(RoleTest, HandedInRoleWinsAndIsNeverDeleted) {
  SetRoleFactory(&kFakeOwnRoles);
  int info_deleted = FakePatchInfo::destroyed, info_released = FakePatchInfo::released;
  int downloaders_deleted = FakeDownloader::destroyed;
  int appliers_deleted = FakeApplier::destroyed;
  m->SetLocalBase("C:\\own");  // creates the own .vrl patch info
  m->SetDownloaderOption(1, "own");
  UseFakes();
  m->SetLocalBase("C:\\mine");
  m->AddVerifyRule(".exe", 1);
  EXPECT_EQ("C:\\mine", info.local_base);
  EXPECT_THAT(info.rules, ElementsAre(".exe"));
  EXPECT_STREQ("1.2.3", m->GetVersionText());
  m->SetDownloaderOption(2, "mine");
  EXPECT_THAT(downloader.Calls(), ElementsAre("option 2 mine"));

  ASSERT_TRUE(launcher_testing::ResetLauncherManager());  // destroys the manager
  m = GetLauncherManager();
  // The own ones went with the manager (the patch info through Release);
  // the handed-in ones are untouched.
  EXPECT_EQ(info_released + 1, FakePatchInfo::released.load());
  EXPECT_EQ(info_deleted + 1, FakePatchInfo::destroyed.load());
  EXPECT_EQ(downloaders_deleted + 1, FakeDownloader::destroyed.load());
  EXPECT_EQ(appliers_deleted, FakeApplier::destroyed.load());
}

TEST_F(RoleTest, ForwardingWithoutPatchInfoAnswersEmptyValues) {
  EXPECT_EQ(kManagerErrorNoRole, m->SetSubdirMode("N_SUBDIR"));
  EXPECT_STREQ("", m->GetVersionText());
  EXPECT_EQ(0, m->GetMismatchCount());
  char path[260] = "x", note[260] = "y";
  int32_t value = 7;
  m->GetMismatch(0, path, &value, note);
  EXPECT_STREQ("", path);
  EXPECT_STREQ("", note);
  EXPECT_EQ(0, value);
  EXPECT_EQ(kManagerErrorNoRole, LastErrorCode());
}

}  // namespace
}  // namespace kivro::manager_test
