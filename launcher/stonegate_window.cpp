#include "launcher/stonegate_window.h"

#include "launcher/stonegate_dlg.h"
#include "launcher/stonegate_paint.h"
#include "launcher/tuv_button.h"
#include "platform/resource.h"
#include "platform/window.h"

namespace kivro::launcher {

namespace {

using platform::Rect;

// Resources of stonegate.rc, and the program's icon.
constexpr int32_t kIdAboutDialog = 100;
constexpr int32_t kIdAboutString = 101;
constexpr int32_t kIdLauncherDialog = 102;
constexpr uint32_t kIdmAbout = 0x10;
constexpr int32_t kIdIcon = 128;
constexpr int32_t kIdBrowserPane = 1017;
constexpr platform::ColorRef kSkinKey = platform::Rgb(0, 0, 255);

// "굴림" in code page 949.
constexpr const char* kTextFontFace = "\xB1\xBC\xB8\xB2";

}  // namespace

class StonegateWindow::Dialog : public platform::Dialog {
 public:
  Dialog() : platform::Dialog(kIdLauncherDialog) {
    AttachControl(CStonegateDlg::kIdCancel, &cancel_);
    AttachControl(CStonegateDlg::kIdExit, &exit_);
    AttachControl(CStonegateDlg::kIdStart, &start_);
    AttachControl(CStonegateDlg::kIdUpdate, &update_);
  }

  CStonegateDlg* dlg = nullptr;

  CTuvButton* ButtonFor(int32_t id) {
    switch (id) {
      case CStonegateDlg::kIdCancel:
        return &cancel_;
      case CStonegateDlg::kIdUpdate:
        return &update_;
      case CStonegateDlg::kIdExit:
        return &exit_;
      case CStonegateDlg::kIdStart:
        return &start_;
      default:
        return nullptr;
    }
  }

  // LoadSkin, on the UI thread.
  bool LoadSkinHere() {
    background_ = platform::LoadBitmapResource(140);
    strip_ = platform::LoadBitmapResource(141);
    bool font_ok = font_.Create(12, 400, kTextFontFace);
    platform::Window* pane = GetDlgItem(kIdBrowserPane);
    Rect pane_rect = kBrowserPaneRect;
    if (pane != nullptr) {
      Rect screen = pane->GetWindowRect();
      platform::Point origin = GetWindowRect().TopLeft();
      pane_rect = screen.Offset(-origin.x, -origin.y);
    }
    clip_ = LauncherClipRegion(GetClientRect(), pane_rect);
    skin_loaded_ = !background_.IsNull() && !strip_.IsNull() && font_ok && !clip_.IsEmpty();
    if (!skin_loaded_) return false;
    Place(start_, kStartButtonAt, 145);
    Place(exit_, kExitButtonAt, 146);
    Place(update_, kUpdateButtonAt, 147);
    Place(cancel_, kCancelButtonAt, 148);
    return true;
  }

 protected:
  bool OnInitDialog() override {
    platform::Dialog::OnInitDialog();
    std::string about = platform::LoadStringResource(kIdAboutString);
    if (!about.empty()) {
      AppendSystemMenu(0, std::string());
      AppendSystemMenu(kIdmAbout, about);
    }
    SetIcon(platform::LoadIconResource(kIdIcon, 32), true);
    SetIcon(platform::LoadIconResource(kIdIcon, 16), false);
    Rect at = GetWindowRect();
    Move({at.left, at.top, at.left + kWindowWidth, at.top + kWindowHeight});
    if (dlg != nullptr) dlg->OnInitDialog();
    return true;
  }

  void OnTimer(uint32_t id) override {
    if (dlg != nullptr && id == CStonegateDlg::kCheckTimerId) {
      dlg->OnTimer(id);
      return;
    }
    platform::Dialog::OnTimer(id);
  }

  void OnCommand(int32_t id) override {
    if (dlg != nullptr && ButtonFor(id) != nullptr) {
      dlg->OnCommand(id);
      return;
    }
    platform::Dialog::OnCommand(id);
  }

  void OnSysCommand(uint32_t command) override {
    if ((command & 0xFFF0) == kIdmAbout) {
      platform::Dialog about(kIdAboutDialog, this);
      about.DoModal();
      return;
    }
    platform::Dialog::OnSysCommand(command);
  }

  // The paint covers every pixel: nothing to erase.
  bool OnEraseBackground(platform::Dc&) override { return true; }

  void OnPaint(platform::Dc& dc) override {
    if (IsIconic()) {
      EraseIconBackground(dc);
      const platform::Icon& icon = GetIcon(true);
      Rect client = GetClientRect();
      dc.DrawIcon((client.Width() - icon.Width() + 1) / 2, (client.Height() - icon.Height() + 1) / 2, icon);
      return;
    }
    if (dlg == nullptr) return;
    platform::Bitmap back = platform::CreateCompatibleBitmap(dc, kBackBufferWidth, kBackBufferHeight);
    platform::MemoryDc back_dc;
    back_dc.SelectBitmap(&back);
    PaintParts parts;
    if (skin_loaded_) {
      parts.background = &background_;
      parts.strip = &strip_;
      parts.font = &font_;
    }
    parts.draw_buttons = [](platform::Dc& target, void* context) {
      Dialog* self = static_cast<Dialog*>(context);
      self->start_.DrawOnParent(target);
      self->exit_.DrawOnParent(target);
      self->update_.DrawOnParent(target);
      self->cancel_.DrawOnParent(target);
    };
    parts.context = this;
    PaintBackBuffer(back_dc, dlg->Snapshot(), parts);
    dc.SelectClipRegion(&clip_);
    dc.BitBlt(0, 0, kBackBufferWidth, kBackBufferHeight, &back_dc, 0, 0, platform::kSrcCopy);
    dc.SelectClipRegion(nullptr);
    back_dc.SelectBitmap(nullptr);
  }

  void OnDestroy() override {
    platform::Dialog::OnDestroy();
    background_ = platform::Bitmap();
    strip_ = platform::Bitmap();
    font_.Destroy();
    clip_ = platform::Region();
    skin_loaded_ = false;
  }

 private:
  // Moves a button to its place and gives it its skin, which sizes it to
  // exactly one cell.
  void Place(CTuvButton& button, platform::Point at, int32_t skin) {
    Rect now = button.GetWindowRect();
    button.Move({at.x, at.y, at.x + now.Width(), at.y + now.Height()}, false);
    button.SetSkin(skin, kSkinKey);
  }

  CTuvButton cancel_, update_, exit_, start_;
  platform::Bitmap background_;
  platform::Bitmap strip_;
  platform::Font font_;
  platform::Region clip_;
  bool skin_loaded_ = false;
};

StonegateWindow::StonegateWindow() : window_(std::make_unique<Dialog>()) {}

StonegateWindow::~StonegateWindow() = default;

int32_t StonegateWindow::RunModal(CStonegateDlg& dialog) {
  window_->dlg = &dialog;
  int32_t result = window_->DoModal();
  return result < 0 ? CStonegateDlg::kIdCancelResult : result;
}

platform::Window* StonegateWindow::DialogWindow() { return window_.get(); }

void StonegateWindow::EndDialog(int32_t result) { window_->EndDialog(result); }

bool StonegateWindow::LoadSkin() {
  bool loaded = false;
  window_->RunOnUiThread([&] { loaded = window_->LoadSkinHere(); });
  return loaded;
}

void StonegateWindow::SetTimer(uint32_t id, uint32_t milliseconds) { window_->SetTimer(id, milliseconds); }

void StonegateWindow::KillTimer(uint32_t id) { window_->KillTimer(id); }

void StonegateWindow::ButtonChanged(int32_t id) {
  CTuvButton* button = window_->ButtonFor(id);
  if (button == nullptr || window_->dlg == nullptr) return;
  CStonegateDlg::ButtonState state = window_->dlg->Button(id);
  // The window's state, the look and the invalidation always go together.
  button->Enable(state.enabled);
  if (state.disabled_look) {
    button->SetDisabledLook();
  } else {
    button->ClearDisabledLook();
  }
}

void StonegateWindow::RepaintNow() {
  window_->Invalidate(false);
  window_->UpdateWindow();
}

void StonegateWindow::ShowMessageBox(const char* text) { platform::ShowMessageBox(window_.get(), text); }

}  // namespace kivro::launcher
