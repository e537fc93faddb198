// The client information report the launcher composes before each check.
#pragma once

namespace kivro::launcher {

// Composes the report (nothing reads it). True when it was composed. A
// probe that fails, even by throwing, never stops the check that follows.
bool ComposeLauncherClientReport();

// Replaces the composer (tests); null restores the machine's own.
using ClientReportComposer = bool (*)();
void SetClientReportComposer(ClientReportComposer composer);

}  // namespace kivro::launcher
