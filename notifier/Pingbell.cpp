#include "notifier/Pingbell.h"

#include <cstdio>
#include <cstring>

#include "notifier/PingbellDlg.h"
#include "platform/codepage.h"
#include "platform/resource.h"
#include "platform/window.h"

namespace kivro {

void RegisterPingbellStrings() {
  platform::RegisterString(IDS_ABOUTBOX, platform::Utf8ToCp949("Pingbell 정보(&A)..."));
}

int CPingbellApp::Run() {
  RegisterPingbellStrings();
  if (!platform::InitGui() || !platform::HasScreen()) {
    std::fprintf(stderr, "%s\n", platform::Cp949ToUtf8(PingbellDialogTemplate().caption).c_str());
    last_result_ = platform::kIdOk;
    return 0;
  }
  CPingbellDlg dialog;
  last_result_ = dialog.DoModal();  // the result is not used further
  return 0;
}

}  // namespace kivro
