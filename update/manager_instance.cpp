// The process-wide manager, its worker accounting and the test seams.
#include <atomic>
#include <cstdlib>

#include "patch/npk/npk_progress.h"
#include "platform/thread.h"
#include "update/launcher_manager.h"
#include "update/lock_guard.h"
#include "update/manager_internal.h"

namespace kivro {

namespace {

// Until a program hands in its factory the manager has no own roles.
I_PatchInfo* NoPatchInfo() { return nullptr; }
I_Download* NoDownloader() { return nullptr; }
I_Apply* NoApplier() { return nullptr; }
std::string NoWorkFolder(I_PatchInfo*) { return std::string(); }
void NoSetWorkFolder(I_Apply*, const char*) {}
void NoSetPackageHook(I_Apply*, NpkProgressFn) {}
const RoleFactory kNoRoles = {
    NoPatchInfo,  NoPatchInfo,     NoDownloader,     NoDownloader,
    NoApplier,    NoWorkFolder,    NoSetWorkFolder,  NoSetPackageHook,
};

std::atomic<const RoleFactory*> g_factory{nullptr};
std::atomic<launcher_testing::ThreadStarter> g_thread_starter{nullptr};
std::atomic<int32_t> g_running_workers{0};
std::atomic<CLauncherManager*> g_instance{nullptr};

// Never destroyed: workers may still call GetLauncherManager at exit.
platform::CriticalSection& InstanceLock() {
  static platform::CriticalSection* lock = new platform::CriticalSection();
  return *lock;
}

// At process exit the manager is destroyed, unless a worker still runs: that
// worker would use it while it is torn down. The process is ending anyway, so
// it is then left to the system.
void DestroyAtExit() {
  if (g_running_workers.load(std::memory_order_acquire) != 0) return;
  delete g_instance.exchange(nullptr, std::memory_order_acq_rel);
}

}  // namespace

CLauncherManager* GetLauncherManager() {
  CLauncherManager* manager = g_instance.load(std::memory_order_acquire);
  if (manager != nullptr) return manager;
  CLock lock(&InstanceLock());
  manager = g_instance.load(std::memory_order_acquire);
  if (manager == nullptr) {
    static bool exit_hook = (std::atexit(DestroyAtExit) == 0);
    (void)exit_hook;
    manager = new CLauncherManager();
    g_instance.store(manager, std::memory_order_release);
  }
  return manager;
}

int32_t IsStopRequested() { return GetLauncherManager()->StopRequested(); }

bool WaitForManagerWorkers(uint32_t timeout_ms) {
  uint32_t start = platform::GetTickCount();
  while (g_running_workers.load(std::memory_order_acquire) != 0) {
    if (platform::GetTickCount() - start >= timeout_ms) return false;
    platform::Sleep(1);
  }
  return true;
}

bool PackageProgressHook(int32_t kind, int32_t event, const char* /*ignored*/, int32_t done,
                         int32_t total) {
  if (kind == kNpkWriting && event == kNpkStageSaving) GetLauncherManager()->OnPackageSaveProgress(done, total);
  return true;
}

namespace manager_internal {

bool StartCountedThread(std::function<void()> body) {
  g_running_workers.fetch_add(1, std::memory_order_acq_rel);
  auto counted = [body = std::move(body)]() {
    body();
    // Last touch of anything the manager shares: after this the worker may
    // find its manager gone.
    g_running_workers.fetch_sub(1, std::memory_order_acq_rel);
  };
  launcher_testing::ThreadStarter starter = g_thread_starter.load(std::memory_order_acquire);
  bool started = starter != nullptr ? starter(std::move(counted))
                                    : platform::StartDetachedThread(std::move(counted));
  if (!started) g_running_workers.fetch_sub(1, std::memory_order_acq_rel);
  return started;
}

const RoleFactory& OwnRoles() {
  const RoleFactory* factory = g_factory.load(std::memory_order_acquire);
  return factory != nullptr ? *factory : kNoRoles;
}

}  // namespace manager_internal

void SetRoleFactory(const RoleFactory* factory) {
  g_factory.store(factory, std::memory_order_release);
}

namespace launcher_testing {

void SetThreadStarter(ThreadStarter starter) {
  g_thread_starter.store(starter, std::memory_order_release);
}

int32_t RunningWorkers() { return g_running_workers.load(std::memory_order_acquire); }

bool WaitForIdleWorkers(uint32_t timeout_ms) { return WaitForManagerWorkers(timeout_ms); }

bool ResetLauncherManager() {
  CLock lock(&InstanceLock());
  if (RunningWorkers() != 0) return false;
  delete g_instance.exchange(nullptr, std::memory_order_acq_rel);
  return true;
}

}  // namespace launcher_testing

}  // namespace kivro
