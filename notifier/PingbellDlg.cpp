#include "notifier/PingbellDlg.h"

#include "platform/codepage.h"
#include "platform/resource.h"

namespace kivro {

namespace {

using platform::ControlTemplate;
using platform::DialogTemplate;
using platform::Rect;

// A control at (x, y) of size w x h, in dialog units.
ControlTemplate Control(ControlTemplate::Kind kind, int32_t id, int32_t x, int32_t y, int32_t w,
                        int32_t h, const char* utf8_text, int32_t icon = 0) {
  ControlTemplate c;
  c.kind = kind;
  c.id = id;
  c.rect = Rect{x, y, x + w, y + h};
  c.text = platform::Utf8ToCp949(utf8_text);
  c.iconId = icon;
  return c;
}

// The system's large icon size (SM_CXICON, SM_CYICON).
constexpr int32_t kSystemIconSize = 32;

}  // namespace

DialogTemplate PingbellDialogTemplate() {
  DialogTemplate t;
  t.size = {87, 62};
  t.style = platform::kStyleModalFrame | platform::kStylePopup | platform::kStyleVisible |
            platform::kStyleCaption | platform::kStyleSysMenu;
  t.caption = "Pingbell";
  t.fontFace = platform::Utf8ToCp949("굴림");
  t.fontPoints = 9;
  t.controls = {
      Control(ControlTemplate::kDefPushButton, platform::kIdOk, 30, 7, 50, 14, "확인"),
      Control(ControlTemplate::kPushButton, platform::kIdCancel, 30, 23, 50, 14, "취소"),
  };
  return t;
}

DialogTemplate AboutDialogTemplate() {
  DialogTemplate t;
  t.size = {235, 55};
  t.style = platform::kStyleModalFrame | platform::kStylePopup | platform::kStyleCaption |
            platform::kStyleSysMenu;
  t.caption = platform::Utf8ToCp949("Pingbell 정보");
  t.fontFace = platform::Utf8ToCp949("굴림");
  t.fontPoints = 9;
  t.controls = {
      Control(ControlTemplate::kStaticIcon, -1, 11, 17, 20, 20, "", IDR_MAINFRAME),
      Control(ControlTemplate::kStaticText, -1, 40, 10, 119, 8, "Pingbell 버전 1.0"),
      Control(ControlTemplate::kStaticText, -1, 40, 25, 119, 8, "Copyright (C) 2007"),
      Control(ControlTemplate::kDefPushButton, platform::kIdOk, 178, 7, 50, 14, "확인"),
  };
  return t;
}

CAboutDlg::CAboutDlg(platform::Window* owner) : Dialog(AboutDialogTemplate(), owner) {}

CPingbellDlg::CPingbellDlg()
    : Dialog(PingbellDialogTemplate()),
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
