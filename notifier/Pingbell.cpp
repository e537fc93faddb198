#include "notifier/Pingbell.h"

#include <cstdio>
#include <cstring>

#include "notifier/PingbellDlg.h"
#include "platform/codepage.h"
#include "platform/resource.h"
#include "platform/window.h"

namespace kivro {

int CPingbellApp::Run() {
  if (!platform::InitGui() || !platform::HasScreen()) {
    platform::DialogTemplate main_dialog;
    platform::LoadDialogResource(IDD_PINGBELL_DIALOG, &main_dialog);
    std::fprintf(stderr, "%s\n", platform::Cp949ToUtf8(main_dialog.caption).c_str());
    last_result_ = platform::kIdOk;
    return 0;
  }
  CPingbellDlg dialog;
  last_result_ = dialog.DoModal();  // the result is not used further
  return 0;
}

}  // namespace kivro
