#include "launcher/stonegate_app.h"

#include <memory>

#include "launcher/launcher_config.h"
#include "launcher/launcher_link.h"
#include "launcher/stonegate_dlg.h"
#include "launcher/stonegate_surface.h"

namespace kivro {

CStonegateApp theApp;

namespace {
// How long the program waits, after its window has closed, for a stopped
// update to finish the file it was writing.
constexpr uint32_t kStopWaitMs = 10000;
}  // namespace

int CStonegateApp::Run(int /*argc*/, char** /*argv*/) {
  InitInstance();
  return exit_code_;
}

bool CStonegateApp::InitInstance() {
  registry_key_ = launcher::kRegistryKey;
  std::unique_ptr<I_StonegateSurface> surface(launcher::CreateProgramSurface());
  CLauncherLink& link = CLauncherLink::Instance();
  {
    CStonegateDlg dialog(*surface, link);
    dialog.DoModal();
    switch (dialog.GetOutcome()) {
      case CStonegateDlg::Outcome::kGameStarted:
        exit_code_ = 0;
        break;
      case CStonegateDlg::Outcome::kFailureShown:
        exit_code_ = 1;
        break;
      case CStonegateDlg::Outcome::kNone:
        exit_code_ = 2;
        break;
    }
  }
  // A window closed while the update ran (Cancel, or the system menu) stops
  // the update, and the program lets the workers finish the file in hand
  // rather than cut it off.
  if (link.Busy()) {
    link.RequestCancel();
    link.WaitUntilIdle(kStopWaitMs);
  }
  return false;
}

}  // namespace kivro
