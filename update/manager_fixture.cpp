#include "update/manager_fixture.h"

namespace kivro::manager_test {

WiringLog& Wiring() {
  static WiringLog log;
  return log;
}

namespace {
I_PatchInfo* NoPatchInfo() { return nullptr; }
I_Download* NoDownloader() { return nullptr; }
I_Apply* NoApplier() { return nullptr; }
std::string WorkFolder(I_PatchInfo*) {
  std::lock_guard<std::mutex> lock(Wiring().mutex);
  Wiring().calls.push_back("work folder asked");
  return "C:\\game\\__npk_entity";
}
void SetWorkFolder(I_Apply*, const char* folder) {
  std::lock_guard<std::mutex> lock(Wiring().mutex);
  Wiring().calls.push_back(std::string("work folder ") + folder);
}
void SetHook(I_Apply*, NpkProgressFn hook) {
  std::lock_guard<std::mutex> lock(Wiring().mutex);
  Wiring().calls.push_back("hook");
  Wiring().hook = hook;
}
}  // namespace

const RoleFactory kNoOwnRoles = {
    NoPatchInfo, NoPatchInfo, NoDownloader, NoDownloader, NoApplier,
    WorkFolder,  SetWorkFolder, SetHook,
};

void ManagerTest::SetUp() {
  ASSERT_TRUE(launcher_testing::WaitForIdleWorkers(20000));
  launcher_testing::SetThreadStarter(nullptr);
  SetRoleFactory(&kNoOwnRoles);
  ASSERT_TRUE(launcher_testing::ResetLauncherManager());
  Log().Clear();
  {
    std::lock_guard<std::mutex> lock(Wiring().mutex);
    Wiring().calls.clear();
    Wiring().hook = nullptr;
  }
  SetLastErrorInfo(0, 0, nullptr);
  m = GetLauncherManager();
  m->SetResultCallback(OnResult);
  m->SetDownloadCountCallback(OnDownloadCount);
  m->SetApplyCountCallback(OnApplyCount);
  m->SetFileNameCallback(OnFileName);
  m->SetApplyBytesCallback(OnApplyBytes);
  m->SetApplyPercentCallback(OnApplyPercent);
}

void ManagerTest::TearDown() {
  // Nothing may stay held: let every fake go before waiting for the workers.
  m->Cancel();
  downloader.release.Raise();
  applier.release.Raise();
  EXPECT_TRUE(launcher_testing::WaitForIdleWorkers(20000));
  EXPECT_TRUE(launcher_testing::ResetLauncherManager());
  SetRoleFactory(nullptr);
  launcher_testing::SetThreadStarter(nullptr);
}

void ManagerTest::UseFakes() {
  m->SetPatchInfo(&info);
  m->SetDownloader(&downloader);
  m->SetApplier(&applier);
}

void ManagerTest::CheckDone() {
  ASSERT_NE(0, m->CheckUpdate("C:\\game\\gobanvista.vrl", "http://dl.test/vrl/newvrl/gobanvista.vrl"));
  ASSERT_TRUE(Log().WaitForResults(1));
  ASSERT_EQ(std::vector<int32_t>{RESULT_CHECK_DONE}, Log().Results());
  ASSERT_TRUE(launcher_testing::WaitForIdleWorkers(20000));
  Log().Clear();
}

std::vector<int32_t> ManagerTest::Settle(size_t count) {
  EXPECT_TRUE(Log().WaitForResults(count));
  EXPECT_TRUE(launcher_testing::WaitForIdleWorkers(20000));
  return Log().Results();
}

}  // namespace kivro::manager_test
