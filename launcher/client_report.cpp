#include "launcher/client_report.h"

#include <atomic>

#include "platform/debug.h"
#include "sysinfo/client_information.h"

namespace kivro::launcher {

namespace {

std::atomic<ClientReportComposer> g_composer{nullptr};

bool ComposeThisMachine() {
  ClientReport report;
  return ComposeClientReport(&report) != 0;
}

}  // namespace

void SetClientReportComposer(ClientReportComposer composer) { g_composer = composer; }

bool ComposeLauncherClientReport() {
  ClientReportComposer composer = g_composer.load();
  try {
    return composer != nullptr ? composer() : ComposeThisMachine();
  } catch (...) {
    // The report is informational; the update must go on without it.
    platform::OutputDebugText("KIVROInstaller: the client information report could not be composed\n");
    return false;
  }
}

}  // namespace kivro::launcher
