// Test seams of the launcher manager. Production code never calls these:
// the manager starts its workers through the platform layer.
#pragma once
#include <cstdint>
#include <functional>
#include <string>

namespace kivro::launcher_testing {

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

}  // namespace kivro::launcher_testing
