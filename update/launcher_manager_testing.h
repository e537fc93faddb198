// Test seams of the launcher manager. Production code never calls these:
// the manager creates its own roles through update/own_roles.h and starts
// its workers through the platform layer.
#pragma once
#include <cstdint>
#include <functional>
#include <string>

#include "patch/npk/npk_progress.h"
#include "update/roles.h"

namespace launcher_testing {

// How the manager creates and wires its own role objects.
struct OwnRoleFactory {
  I_PatchInfo* (*vrel_patch_info)();
  I_PatchInfo* (*pul_patch_info)();
  I_Download* (*net)();
  I_Download* (*swarmlet)();
  I_Apply* (*applier)();
  std::string (*package_work_folder)(I_PatchInfo* own_vrel_patch_info);
  void (*set_work_folder)(I_Apply* own_applier, const char* folder);
  void (*set_package_hook)(I_Apply* own_applier, NpkProgressFn hook);
};

// Replaces the own-role factory; null restores update/own_roles.h. The
// table must outlive its use.
void SetOwnRoleFactory(const OwnRoleFactory* factory);

// Replaces the thread starter (for starts that fail); null restores
// platform::StartDetachedThread.
typedef bool (*ThreadStarter)(std::function<void()> body);
void SetThreadStarter(ThreadStarter starter);

// Number of manager worker threads that have not yet ended.
int32_t RunningWorkers();
// Waits until no manager worker runs; false after `timeout_ms`.
bool WaitForIdleWorkers(uint32_t timeout_ms);

// Destroys the process's manager (its own roles with it) so that the next
// GetLauncherManager builds a fresh one. Only when no worker runs: returns
// false and does nothing otherwise.
bool ResetLauncherManager();

}  // namespace launcher_testing
