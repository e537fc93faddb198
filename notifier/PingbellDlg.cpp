#include "notifier/PingbellDlg.h"

#include "platform/resource.h"

namespace kivro {

namespace {

// The system's large icon size (SM_CXICON, SM_CYICON).
constexpr int32_t kSystemIconSize = 32;

}  // namespace

CAboutDlg::CAboutDlg(platform::Window* owner) : Dialog(IDD_ABOUTBOX, owner) {}

CPingbellDlg::CPingbellDlg()
    : Dialog(IDD_PINGBELL_DIALOG),
      big_icon_(platform::LoadIconResource(IDR_MAINFRAME, 32)),
      small_icon_(platform::LoadIconResource(IDR_MAINFRAME, 16)) {}

bool CPingbellDlg::OnInitDialog() {
  Dialog::OnInitDialog();
  // The about item goes at the end of the system menu, after a separator.
  std::string about = platform::LoadStringResource(IDS_ABOUTBOX);
  if (!about.empty()) {
    AppendSystemMenu(0, std::string());
    AppendSystemMenu(IDM_ABOUTBOX, about);
  }
  SetIcon(big_icon_, true);
  SetIcon(small_icon_, false);
  return true;  // the framework sets the default focus
}

void CPingbellDlg::OnSysCommand(uint32_t command) {
  if ((command & 0xFFF0) == IDM_ABOUTBOX) {
    ++about_shown_;
    CAboutDlg about(this);
    about.DoModal();
    return;
  }
  Dialog::OnSysCommand(command);
}

void CPingbellDlg::OnPaint(platform::Dc& dc) {
  if (!IsIconic()) {
    Dialog::OnPaint(dc);
    return;
  }
  EraseIconBackground(dc);
  platform::Rect client = GetClientRect();
  int32_t x = (client.Width() - kSystemIconSize + 1) / 2;
  int32_t y = (client.Height() - kSystemIconSize + 1) / 2;
  dc.DrawIcon(x, y, big_icon_);
}

}  // namespace kivro
