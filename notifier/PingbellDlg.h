// CPingbellDlg: the notifier's one dialog (102) with its OK and Cancel
// buttons, the about item on its system menu and the icon drawn when it is
// minimised; CAboutDlg: the about box (100).
#pragma once
#include <cstdint>

#include "platform/gdi.h"
#include "platform/window.h"

// Resource ids (the dialogs and the string are in Pingbell.rc, the icon is
// the program's icon).

namespace kivro {

inline constexpr int32_t IDD_ABOUTBOX = 100;
inline constexpr int32_t IDS_ABOUTBOX = 101;
inline constexpr int32_t IDD_PINGBELL_DIALOG = 102;
inline constexpr int32_t IDR_MAINFRAME = 128;
// The about item's command on the system menu.
inline constexpr uint32_t IDM_ABOUTBOX = 0x0010;

class CAboutDlg : public platform::Dialog {
 public:
  explicit CAboutDlg(platform::Window* owner = nullptr);
};

class CPingbellDlg : public platform::Dialog {
 public:
  CPingbellDlg();

  void OnSysCommand(uint32_t command) override;
  // How many times the about box was shown (for tests).
  int AboutShownCount() const { return about_shown_; }

 protected:
  bool OnInitDialog() override;
  void OnPaint(platform::Dc& dc) override;

 private:
  platform::Icon big_icon_;
  platform::Icon small_icon_;
  int about_shown_ = 0;
};

}  // namespace kivro
