// The update workers end to end, driven with handed-in fake roles.
#include <gtest/gtest.h>

#include <string>

#include "patch/vrel_apply_info.h"
#include "update/manager_fixture.h"

namespace kivro::manager_test {
namespace {

using ::testing::ElementsAre;
using Counts = std::vector<std::pair<int32_t, int32_t>>;

class UpdateTest : public ManagerTest {
 protected:
  void SetUp() override {
    ManagerTest::SetUp();
    UseFakes();
  }
  // Checks with the given items, then clears the log.
  void CheckWith(std::vector<ItemPlan> items) {
    info.items = std::move(items);
    CheckDone();
  }
  static constexpr const char* kList = "http://dl.test/vrl/newvrl/gobanvista.vrl";
  static std::string Url(const char* name) {
    return std::string("http://dl.test/dist/") + name + ".zip";
  }
};

TEST_F(UpdateTest, ParallelUpdateFetchesAndAppliesEveryItem) {
  CheckWith({{1, "a"}, {2, "b"}, {1, "c"}});
  m->StartUpdate();
  EXPECT_EQ(std::vector<int32_t>{RESULT_UPDATE_DONE}, Settle(1));
  // Only items of kind 1 are fetched, and only they are named.
  EXPECT_THAT(downloader.FetchedUrls(), ElementsAre(kList, Url("a"), Url("c")));
  EXPECT_THAT(Log().file_names, ElementsAre("C:\\game\\a.zip", "C:\\game\\c.zip"));
  EXPECT_THAT(applier.Applied(), ElementsAre("a", "b", "c"));
  EXPECT_EQ((Counts{{3, 1}, {3, 2}, {3, 3}}), Log().download_counts);
  EXPECT_EQ((Counts{{3, 1}, {3, 2}, {3, 3}}), Log().apply_counts);
  EXPECT_EQ(1, applier.finish_calls.load());
  EXPECT_EQ(1, info.uninstall_calls.load());
  EXPECT_EQ(1, info.verify_calls.load());
  EXPECT_TRUE(info.verify_after_uninstall.load());
  EXPECT_EQ(kStateDone, m->GetPhaseState(kPhaseDownload));
  EXPECT_EQ(kStateDone, m->GetPhaseState(kPhaseApply));
  // The roles were wired to the manager's cancel check.
  EXPECT_EQ(&IsStopRequested, downloader.cancel_check.load());
  EXPECT_EQ(&IsStopRequested, applier.cancel_check.load());
}

TEST_F(UpdateTest, EmptyUpdateStillFinishesAndVerifies) {
  CheckWith({});
  m->StartUpdate();
  EXPECT_EQ(std::vector<int32_t>{RESULT_UPDATE_DONE}, Settle(1));
  std::vector<std::string> calls = downloader.Calls();
  ASSERT_EQ(5u, calls.size());  // the check's three, then the update's
  EXPECT_EQ("open url LAUNCHER", calls[3]);
  EXPECT_EQ("close url", calls[4]);
  EXPECT_EQ(1, applier.finish_calls.load());
  EXPECT_EQ(1, info.verify_calls.load());
}

TEST_F(UpdateTest, StartUpdateFromTheCheckResultCallbackRuns) {
  static std::atomic<int> starts{0};
  starts = 0;
  struct Local {
    static void OnResultStartingUpdate(int32_t code) {
      OnResult(code);
      // As the launcher window does: on the check worker, state lock held.
      if (code == RESULT_CHECK_DONE && starts++ == 0) GetLauncherManager()->StartUpdate();
    }
  };
  m->SetResultCallback(Local::OnResultStartingUpdate);
  info.items = {{1, "a"}};
  ASSERT_NE(0, m->CheckUpdate("C:\\game\\list.vrl", "http://dl.test/list.vrl"));
  EXPECT_EQ((std::vector<int32_t>{RESULT_CHECK_DONE, RESULT_UPDATE_DONE}), Settle(2));
  EXPECT_THAT(applier.Applied(), ElementsAre("a"));
}

TEST_F(UpdateTest, CancelInParallelModeSendsExactlyOneCanceled) {
  CheckWith({{1, "a"}, {1, "b"}, {1, "c"}});
  downloader.hold_url = Url("b");
  m->StartUpdate();
  ASSERT_TRUE(downloader.held.Wait());
  m->Cancel();
  EXPECT_EQ(std::vector<int32_t>{RESULT_UPDATE_CANCELED}, Settle(1));
  EXPECT_EQ(kStateCanceled, m->GetPhaseState(kPhaseDownload));
  EXPECT_EQ(kStateCanceled, m->GetPhaseState(kPhaseApply));
  EXPECT_THAT(downloader.FetchedUrls(), ElementsAre(kList, Url("a"), Url("b")));
  // A canceled update is neither cleaned up nor verified.
  EXPECT_EQ(0, info.verify_calls.load());
  EXPECT_EQ(1, applier.finish_calls.load());
}

TEST_F(UpdateTest, FetchErrorWhileTheApplierIsBusyFails) {
  CheckWith({{1, "a"}, {1, "b"}});
  applier.hold_name = "a";
  downloader.fail_url = Url("b");
  downloader.fail_after = &applier.entered;  // the error comes while "a" is applied
  m->StartUpdate();
  EXPECT_EQ(std::vector<int32_t>{RESULT_UPDATE_FAILED}, Settle(1));
  EXPECT_EQ(kStateFailed, m->GetPhaseState(kPhaseDownload));
  // The failure stopped the applier through its cancel check.
  EXPECT_EQ(kStateCanceled, m->GetPhaseState(kPhaseApply));
  EXPECT_THAT(applier.Applied(), ElementsAre("a"));
}

TEST_F(UpdateTest, ApplyErrorFailsAndStopsTheDownload) {
  CheckWith({{1, "a"}, {1, "b"}});
  applier.apply_result = 71;
  downloader.hold_url = Url("b");  // held until the failure stops it
  m->StartUpdate();
  EXPECT_EQ(std::vector<int32_t>{RESULT_UPDATE_FAILED}, Settle(1));
  EXPECT_EQ(kStateFailed, m->GetPhaseState(kPhaseApply));
}

TEST_F(UpdateTest, FailedFinishFailsTheUpdate) {
  CheckWith({{1, "a"}});
  applier.finish_result = 101;
  m->StartUpdate();
  EXPECT_EQ(std::vector<int32_t>{RESULT_UPDATE_FAILED}, Settle(1));
  EXPECT_EQ(0, info.verify_calls.load());
}

TEST_F(UpdateTest, FailedVerificationReportsTampered) {
  CheckWith({{1, "a"}});
  info.verify_result = 1;
  m->StartUpdate();
  EXPECT_EQ(std::vector<int32_t>{RESULT_FILES_TAMPERED}, Settle(1));
  EXPECT_EQ(kStateTampered, m->GetPhaseState(kPhaseApply));
}

TEST_F(UpdateTest, FailedOpenFailsWithoutClose) {
  CheckWith({{1, "a"}});
  downloader.open_result = 32;
  m->StartUpdate();
  EXPECT_EQ(std::vector<int32_t>{RESULT_UPDATE_FAILED}, Settle(1));
  // The list fetch of the check opened and closed; the update only opened.
  std::vector<std::string> calls = downloader.Calls();
  EXPECT_EQ("open url LAUNCHER", calls.back());
}

TEST_F(UpdateTest, ItemWithoutApplyRecordFailsInsteadOfBeingSkipped) {
  CheckWith({{1, "a"}, {2, "b", false}});
  m->StartUpdate();
  EXPECT_EQ(std::vector<int32_t>{RESULT_UPDATE_FAILED}, Settle(1));
  EXPECT_EQ(kManagerErrorBadItem, LastErrorCode());
  EXPECT_EQ(0, info.verify_calls.load());
}

TEST_F(UpdateTest, SequentialModeReportsDirectly) {
  CheckWith({{1, "a"}, {2, "b"}});
  m->SetParallel(0);
  m->StartUpdate();
  EXPECT_EQ(std::vector<int32_t>{RESULT_UPDATE_DONE}, Settle(1));
  EXPECT_THAT(applier.Applied(), ElementsAre("a", "b"));
  EXPECT_EQ((Counts{{2, 1}, {2, 2}}), Log().download_counts);
  EXPECT_TRUE(Log().apply_counts.empty());
  EXPECT_EQ(kStateIdle, m->GetPhaseState(kPhaseDownload));
  EXPECT_EQ(kStateIdle, m->GetPhaseState(kPhaseApply));
  EXPECT_EQ(1, info.verify_calls.load());
}

TEST_F(UpdateTest, SequentialModeResults) {
  struct Case {
    int32_t fetch, apply, finish, verify, expected;
  } cases[] = {
      {0, 0, 0, 1, RESULT_FILES_TAMPERED}, {35, 0, 0, 0, RESULT_UPDATE_FAILED},
      {1, 0, 0, 0, RESULT_UPDATE_CANCELED}, {0, 1, 0, 0, RESULT_UPDATE_CANCELED},
      {0, 72, 0, 0, RESULT_UPDATE_FAILED}, {0, 0, 1, 0, RESULT_UPDATE_DONE},
      {0, 0, 100, 0, RESULT_UPDATE_FAILED},
  };
  m->SetParallel(0);
  for (const Case& c : cases) {
    FakeDownloader fresh_downloader;
    FakeApplier fresh_applier;
    m->SetDownloader(&fresh_downloader);
    m->SetApplier(&fresh_applier);
    fresh_downloader.fail_url = Url("a");
    fresh_downloader.fail_result = c.fetch == 0 ? 0 : c.fetch;
    fresh_applier.apply_result = c.apply;
    fresh_applier.finish_result = c.finish;
    info.verify_result = c.verify;
    CheckWith({{1, "a"}});
    m->StartUpdate();
    EXPECT_EQ(std::vector<int32_t>{c.expected}, Settle(1))
        << c.fetch << " " << c.apply << " " << c.finish << " " << c.verify;
    EXPECT_EQ(1, fresh_applier.finish_calls.load());
    Log().Clear();
  }
}

TEST_F(UpdateTest, ResumeRefetchesTheInterruptedItemOnly) {
  CheckWith({{1, "a"}, {1, "b"}, {1, "c"}});
  downloader.hold_url = Url("b");
  m->StartUpdate();
  ASSERT_TRUE(downloader.held.Wait());
  ASSERT_TRUE(applier.entered.Wait());  // "a" reached the applier
  m->Cancel();
  ASSERT_EQ(std::vector<int32_t>{RESULT_UPDATE_CANCELED}, Settle(1));
  Log().Clear();

  m->ResumeUpdate();
  EXPECT_EQ(std::vector<int32_t>{RESULT_UPDATE_DONE}, Settle(1));
  EXPECT_THAT(downloader.FetchedUrls(),
              ElementsAre(kList, Url("a"), Url("b"), Url("b"), Url("c")));
  EXPECT_THAT(applier.Applied(), ElementsAre("a", "b", "c"));
  EXPECT_EQ((Counts{{3, 2}, {3, 3}}), Log().download_counts);
}

// A new check replaces the list the canceled update was working on: a
// ResumeUpdate then starts the new update from its beginning and never
// touches a record of the old list.
TEST_F(UpdateTest, ResumeAfterANewCheckStartsAfresh) {
  CheckWith({{1, "a"}, {1, "b"}});
  downloader.hold_url = Url("b");
  m->StartUpdate();
  ASSERT_TRUE(downloader.held.Wait());
  ASSERT_TRUE(applier.entered.Wait());
  m->Cancel();
  ASSERT_EQ(std::vector<int32_t>{RESULT_UPDATE_CANCELED}, Settle(1));
  Log().Clear();

  CheckWith({{1, "x"}, {2, "y"}, {1, "z"}});
  m->ResumeUpdate();
  EXPECT_EQ(std::vector<int32_t>{RESULT_UPDATE_DONE}, Settle(1));
  EXPECT_THAT(applier.Applied(), ElementsAre("a", "x", "y", "z"));
  EXPECT_EQ((Counts{{3, 1}, {3, 2}, {3, 3}}), Log().download_counts);
}

TEST_F(UpdateTest, ResumeWithoutAnyUpdateIsAStart) {
  CheckWith({{2, "a"}});
  m->ResumeUpdate();
  EXPECT_EQ(std::vector<int32_t>{RESULT_UPDATE_DONE}, Settle(1));
  EXPECT_THAT(applier.Applied(), ElementsAre("a"));
}

TEST_F(UpdateTest, StartAndResumeWhileTheUpdateRunsAreRefused) {
  CheckWith({{1, "a"}, {1, "b"}});
  applier.hold_name = "a";
  m->StartUpdate();
  ASSERT_TRUE(applier.entered.Wait());
  m->StartUpdate();
  m->ResumeUpdate();
  EXPECT_EQ(0, m->CheckUpdate("C:\\game\\list.vrl", "http://dl.test/list.vrl"));
  applier.release.Raise();
  EXPECT_EQ(std::vector<int32_t>{RESULT_UPDATE_DONE}, Settle(1));
  EXPECT_THAT(downloader.FetchedUrls(),
              ElementsAre(kList, Url("a"), Url("b")));
  EXPECT_THAT(applier.Applied(), ElementsAre("a", "b"));
  EXPECT_EQ(1, info.build_calls.load());
}

TEST_F(UpdateTest, MissingApplierFailsTheUpdateWithLastError) {
  CheckWith({{1, "a"}});
  m->SetApplier(nullptr);  // the own applier cannot be created
  m->StartUpdate();
  EXPECT_EQ(std::vector<int32_t>{RESULT_UPDATE_FAILED}, Settle(1));
  EXPECT_EQ(kManagerErrorNoRole, LastErrorCode());
  EXPECT_STREQ("APPLIER COULD NOT BE CREATED", GetLastErrorInfo().text);
}

TEST_F(UpdateTest, MissingDownloaderFailsTheUpdateWithLastError) {
  CheckWith({{1, "a"}});
  m->SetDownloader(nullptr);
  m->StartUpdate();
  EXPECT_EQ(std::vector<int32_t>{RESULT_UPDATE_FAILED}, Settle(1));
  EXPECT_EQ(kManagerErrorNoRole, LastErrorCode());
  EXPECT_TRUE(applier.Applied().empty());
}

TEST_F(UpdateTest, MissingRoleFailsTheSequentialUpdate) {
  CheckWith({{1, "a"}});
  m->SetParallel(0);
  m->SetApplier(nullptr);
  m->StartUpdate();
  EXPECT_EQ(std::vector<int32_t>{RESULT_UPDATE_FAILED}, Settle(1));
  EXPECT_EQ(kManagerErrorNoRole, LastErrorCode());
}

// Starts every thread but the n-th (1-based) of those asked for.
std::atomic<int> g_starts{0};
std::atomic<int> g_fail_at{0};
bool FailNth(std::function<void()> body) {
  if (++g_starts == g_fail_at) return false;
  return platform::StartDetachedThread(std::move(body));
}

TEST_F(UpdateTest, WorkerThatCannotStartFailsTheUpdateOnce) {
  CheckWith({{1, "a"}, {1, "b"}});
  launcher_testing::SetThreadStarter(FailNth);
  for (int fail_at : {1, 2}) {  // the download worker, then the apply worker
    g_starts = 0;
    g_fail_at = fail_at;
    SetLastErrorInfo(0, 0, nullptr);
    m->StartUpdate();
    EXPECT_EQ(std::vector<int32_t>{RESULT_UPDATE_FAILED}, Settle(1)) << "fail at " << fail_at;
    EXPECT_EQ(kManagerErrorNoThread, LastErrorCode());
    Log().Clear();
  }
  m->SetParallel(0);
  g_starts = 0;
  g_fail_at = 1;
  m->StartUpdate();
  EXPECT_EQ(std::vector<int32_t>{RESULT_UPDATE_FAILED}, Log().Results());
}

TEST_F(UpdateTest, OwnRolesAreWiredForPackages) {
  static FakePatchInfo* own_info;
  static FakeApplier* own_applier;
  struct Local {
    static I_PatchInfo* MakeInfo() {
      own_info = new FakePatchInfo();
      own_info->owned_by_manager = true;
      return own_info;
    }
    static I_Apply* MakeApplier() { return own_applier = new FakeApplier(); }
  };
  static const RoleFactory factory = {
      Local::MakeInfo, kNoOwnRoles.pul_patch_info, kNoOwnRoles.net, kNoOwnRoles.swarmlet,
      Local::MakeApplier, kNoOwnRoles.package_work_folder, kNoOwnRoles.set_work_folder,
      kNoOwnRoles.set_package_hook};
  SetRoleFactory(&factory);
  m->SetPatchInfo(nullptr);
  m->SetApplier(nullptr);
  m->SetLocalBase("C:\\game");  // creates the own patch info
  CheckDone();
  m->StartUpdate();
  EXPECT_EQ(std::vector<int32_t>{RESULT_UPDATE_DONE}, Settle(1));
  {
    std::lock_guard<std::mutex> lock(Wiring().mutex);
    EXPECT_THAT(Wiring().calls, ElementsAre("work folder asked",
                                            "work folder C:\\game\\__npk_entity", "hook"));
    EXPECT_EQ(&PackageProgressHook, Wiring().hook);
  }
  ASSERT_TRUE(launcher_testing::ResetLauncherManager());  // deletes both own roles
  m = GetLauncherManager();
}

TEST_F(UpdateTest, HandedInApplierGetsNoPackageWiring) {
  CheckWith({});
  m->StartUpdate();
  Settle(1);
  std::lock_guard<std::mutex> lock(Wiring().mutex);
  EXPECT_TRUE(Wiring().calls.empty());
}

// ---- one-shot operations ----

TEST_F(UpdateTest, DownloadFileAsyncReportsItsResult) {
  EXPECT_EQ(1, m->DownloadFileAsync("C:\\one.zip", "http://dl.test/one.zip"));
  EXPECT_EQ(std::vector<int32_t>{RESULT_FILE_DONE}, Settle(1));
  EXPECT_EQ(&IsStopRequested, downloader.cancel_check.load());

  downloader.fail_url = "http://dl.test/two.zip";
  EXPECT_EQ(1, m->DownloadFileAsync("C:\\two.zip", "http://dl.test/two.zip"));
  EXPECT_EQ((std::vector<int32_t>{RESULT_FILE_DONE, RESULT_FILE_FAILED}), Settle(2));

  downloader.hold_url = "http://dl.test/three.zip";
  EXPECT_EQ(1, m->DownloadFileAsync("C:\\three.zip", "http://dl.test/three.zip"));
  ASSERT_TRUE(downloader.held.Wait());
  m->Cancel();
  EXPECT_EQ(RESULT_FILE_CANCELED, Settle(3).back());
}

TEST_F(UpdateTest, SecondDownloadFileAsyncWhileBusyChangesNothing) {
  downloader.hold_url = "http://dl.test/one.zip";
  ASSERT_EQ(1, m->DownloadFileAsync("C:\\one.zip", "http://dl.test/one.zip"));
  ASSERT_TRUE(downloader.held.Wait());
  EXPECT_EQ(0, m->DownloadFileAsync("C:\\two.zip", "http://dl.test/two.zip"));
  downloader.release.Raise();
  EXPECT_EQ(std::vector<int32_t>{RESULT_FILE_DONE}, Settle(1));
  EXPECT_THAT(downloader.FetchedUrls(), ElementsAre("http://dl.test/one.zip"));
  // Once it has ended, the next one is accepted.
  EXPECT_EQ(1, m->DownloadFileAsync("C:\\two.zip", "http://dl.test/two.zip"));
  Settle(2);
}

TEST_F(UpdateTest, OverlongDownloadFileAsyncTextFailsTheDownload) {
  std::string url = "http://dl.test/" + std::string(300, 'u');
  EXPECT_EQ(1, m->DownloadFileAsync("C:\\one.zip", url.c_str()));
  EXPECT_EQ(std::vector<int32_t>{RESULT_FILE_FAILED}, Settle(1));
  EXPECT_EQ(kManagerErrorTextTooLong, LastErrorCode());
  EXPECT_TRUE(downloader.FetchedUrls().empty());
}

TEST_F(UpdateTest, ApplyPackageAsyncAppliesOneArchiveRecord) {
  EXPECT_EQ(1, m->ApplyPackageAsync("C:\\pkg.zip", "C:\\game"));
  EXPECT_EQ(std::vector<int32_t>{RESULT_PACKAGE_DONE}, Settle(1));
  EXPECT_THAT(applier.Applied(), ElementsAre("C:\\pkg.zip"));
  EXPECT_EQ(kApplyUnpackArchive, applier.LastKind());
  EXPECT_EQ("C:\\game", applier.LastDestination());
  EXPECT_EQ(1, applier.finish_calls.load());
  EXPECT_EQ(kStateDone, m->GetPhaseState(kPhaseApply));
}

TEST_F(UpdateTest, ApplyPackageAsyncResultFollowsFinish) {
  const int32_t finish[] = {1, 74};
  const int32_t expected[] = {RESULT_PACKAGE_CANCELED, RESULT_PACKAGE_FAILED};
  for (int i = 0; i < 2; ++i) {
    applier.finish_result = finish[i];
    EXPECT_EQ(1, m->ApplyPackageAsync("C:\\pkg.zip", "C:\\game"));
    EXPECT_EQ(expected[i], Settle(i + 1).back());
  }
}

TEST_F(UpdateTest, SecondApplyPackageAsyncWhileBusyChangesNothing) {
  applier.hold_name = "C:\\first.zip";
  ASSERT_EQ(1, m->ApplyPackageAsync("C:\\first.zip", "C:\\game"));
  ASSERT_TRUE(applier.entered.Wait());
  EXPECT_EQ(0, m->ApplyPackageAsync("C:\\second.zip", "C:\\other"));
  applier.release.Raise();
  EXPECT_EQ(std::vector<int32_t>{RESULT_PACKAGE_DONE}, Settle(1));
  EXPECT_THAT(applier.Applied(), ElementsAre("C:\\first.zip"));
  EXPECT_EQ("C:\\game", applier.LastDestination());
}

TEST_F(UpdateTest, ApplyPackageAsyncWithoutApplierFails) {
  m->SetApplier(nullptr);
  EXPECT_EQ(1, m->ApplyPackageAsync("C:\\pkg.zip", "C:\\game"));
  EXPECT_EQ(std::vector<int32_t>{RESULT_PACKAGE_FAILED}, Settle(1));
  EXPECT_EQ(kManagerErrorNoRole, LastErrorCode());
}

bool NeverStarts(std::function<void()>) { return false; }

// A one-shot worker that cannot start answers 0, delivers its failure at
// once and leaves the operation free for the next call.
TEST_F(UpdateTest, OneShotWorkerThatCannotStartFailsAndStaysFree) {
  launcher_testing::SetThreadStarter(NeverStarts);
  EXPECT_EQ(0, m->DownloadFileAsync("C:\\one.zip", "http://dl.test/one.zip"));
  EXPECT_EQ(0, m->ApplyPackageAsync("C:\\pkg.zip", "C:\\game"));
  EXPECT_EQ((std::vector<int32_t>{RESULT_FILE_FAILED, RESULT_PACKAGE_FAILED}), Log().Results());
  EXPECT_EQ(kManagerErrorNoThread, LastErrorCode());
  launcher_testing::SetThreadStarter(nullptr);
  EXPECT_EQ(1, m->DownloadFileAsync("C:\\one.zip", "http://dl.test/one.zip"));
  EXPECT_EQ(1, m->ApplyPackageAsync("C:\\pkg.zip", "C:\\game"));
  std::vector<int32_t> results = Settle(4);
  EXPECT_THAT(std::vector<int32_t>(results.begin() + 2, results.end()),
              ::testing::UnorderedElementsAre(RESULT_FILE_DONE, RESULT_PACKAGE_DONE));
}

TEST_F(UpdateTest, PackageProgressHookFeedsTheApplyCallbacks) {
  EXPECT_TRUE(PackageProgressHook(1, 4, "pkg", 5, 10));
  EXPECT_TRUE(PackageProgressHook(1, 4, nullptr, 10, 10));
  EXPECT_TRUE(PackageProgressHook(1, 4, nullptr, 3, 0));
  EXPECT_TRUE(PackageProgressHook(0, 4, nullptr, 1, 10));  // reading: not reported
  EXPECT_TRUE(PackageProgressHook(1, 2, nullptr, 1, 10));  // entity data: not reported
  EXPECT_EQ((Counts{{10, 5}, {10, 10}, {0, 3}}), Log().apply_bytes);
  EXPECT_EQ((std::vector<int32_t>{50, 100, 100}), Log().apply_percents);
}

}  // namespace
}  // namespace kivro::manager_test
