// The client information report the launcher composes before each check.
#pragma once

namespace launcher {
// Composes the report (nothing reads it). True when it was composed.
bool ComposeLauncherClientReport();
}  // namespace launcher
