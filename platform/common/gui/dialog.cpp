// Dialogs built from a description, modal and modeless.
#include <cstdlib>

#include "platform/common/gui/gui_core.h"
#include "platform/resource.h"

namespace platform {

Dialog::Dialog(DialogTemplate description, Window* owner)
    : description_(std::move(description)), owner_window_(owner) {}

Dialog::Dialog(int32_t template_id, Window* owner) : owner_window_(owner) {
  LoadDialogResource(template_id, &description_);
}

Dialog::~Dialog() {
  if (Handle() != 0) Destroy();
}

void Dialog::AttachControl(int32_t id, Window* control) { attached_.push_back({id, control}); }

Window* Dialog::GetDlgItem(int32_t id) const {
  Window* found = nullptr;
  GuiCore::Do(*this, [&] {
    for (Window* c : children_)
      if (c->ControlId() == id) found = c;
  });
  return found;
}

// Dialog units follow the description's font: a horizontal unit is a
// quarter of the average character width, a vertical one an eighth of the
// character height. For Korean faces the height in pixels is the point size
// at 96 dpi and the average width half of it (굴림 9 pt: 6 x 12).
Size Dialog::DialogUnitsToPixels(Size dlu) const {
  return {dlu.cx * base_units_.cx / 4, dlu.cy * base_units_.cy / 8};
}

bool Dialog::Create() {
  InitGui();
  if (!IsUiThread()) {
    bool ok = false;
    GuiCore::Call(0, [&] { ok = Create(); });
    return ok;
  }
  if (Handle() != 0) return false;
  ended_.store(false);
  result_.store(0);
  int32_t pixels = (description_.fontPoints > 0 ? description_.fontPoints : 9) * 96 / 72;
  base_units_ = {std::max(pixels / 2, 1), std::max(pixels, 1)};
  dialog_font_.Create(-pixels, 400, description_.fontFace);
  auto px = [&](Size s) { return description_.dialogUnits ? DialogUnitsToPixels(s) : s; };
  Size size = px(description_.size);
  if (size.cx <= 0 || size.cy <= 0) return false;
  // Centred over the owner, else on the screen.
  Rect around{0, 0, GuiCore::TheBackend().ScreenSize().cx, GuiCore::TheBackend().ScreenSize().cy};
  if (owner_window_ && owner_window_->IsAlive()) around = owner_window_->GetWindowRect();
  int32_t x = around.left + (around.Width() - size.cx) / 2,
          y = around.top + (around.Height() - size.cy) / 2;
  if (!CreateTopLevel(owner_window_, {x, y, x + size.cx, y + size.cy}, description_.style,
                      description_.caption))
    return false;
  if (!dialog_font_.IsNull()) font_ = &dialog_font_;
  for (const ControlTemplate& t : description_.controls) {
    Window* control = nullptr;
    for (auto& [id, w] : attached_)
      if (id == t.id) control = w;
    if (!control) {
      std::unique_ptr<Window> made;
      switch (t.kind) {
        case ControlTemplate::kPushButton:
        case ControlTemplate::kDefPushButton:
        case ControlTemplate::kOwnerDrawButton:
          made = std::make_unique<Button>(t.kind == ControlTemplate::kOwnerDrawButton);
          break;
        case ControlTemplate::kStaticText:
          made = std::make_unique<StaticText>();
          break;
        case ControlTemplate::kStaticIcon:
          made = std::make_unique<StaticIcon>(t.iconId);
          break;
        case ControlTemplate::kCustom:
          made = std::make_unique<Window>();
          break;
      }
      control = made.get();
      owned_controls_.push_back(std::move(made));
    }
    if (auto* button = dynamic_cast<Button*>(control)) {
      if (t.kind == ControlTemplate::kOwnerDrawButton) button->SetOwnerDraw(true);
      if (t.kind == ControlTemplate::kDefPushButton) button->SetDefault(true);
    }
    Size topleft = px({t.rect.left, t.rect.top}), bottomright = px({t.rect.right, t.rect.bottom});
    control->font_ = font_;
    control->text_ = t.text;
    control->CreateChild(this, t.id, {topleft.cx, topleft.cy, bottomright.cx, bottomright.cy},
                         t.visible);
  }
  OnInitDialog();
  if (IsAlive() && (description_.style & kStyleVisible)) Show(ShowCommand::kShow);
  return IsAlive();
}

int32_t Dialog::DoModal() {
  InitGui();
  if (!IsUiThread()) {
    int32_t result = -1;
    GuiCore::Call(0, [&] { result = DoModal(); });
    return result;
  }
  if (!Create()) return -1;
  Window* owner = owner_ && owner_->IsAlive() ? owner_ : nullptr;
  bool owner_was_enabled = owner && owner->enabled_;
  if (owner_was_enabled) owner->enabled_ = false;
  WindowHandle owner_handle = owner ? owner->Handle() : 0;
  GuiCore::PushModal(this);
  uint64_t close_at = 0;
  if (std::string(GuiBackendName()) == "offscreen")
    if (const char* after = getenv("KIVRO_GUI_CLOSE_AFTER"))
      close_at = GuiCore::NowMs() + strtoul(after, nullptr, 10);
  GuiCore::RunLoop([&] {
    if (close_at && GuiCore::NowMs() >= close_at && !ended_.load()) EndDialog(kIdCancel);
    return IsAlive() && !ended_.load();
  });
  GuiCore::PopModal(this);
  if (owner_was_enabled && GuiCore::Find(owner_handle) == owner) owner->enabled_ = true;
  if (IsAlive()) GuiCore::DestroyWindow(*this);
  return result_.load();
}

bool Dialog::EndDialog(int32_t result) {
  return GuiCore::Do(*this, [&] {
    result_.store(result);
    ended_.store(true);
  });
}

bool Dialog::OnInitDialog() { return true; }
void Dialog::OnOK() { EndDialog(kIdOk); }
void Dialog::OnCancel() { EndDialog(kIdCancel); }

void Dialog::OnCommand(int32_t id) {
  if (id == kIdOk) OnOK();
  if (id == kIdCancel) OnCancel();
}

bool Dialog::OnKeyDown(int32_t key) {
  if (key == kKeyEscape) {
    OnCancel();
    return true;
  }
  if (key == kKeyReturn) {
    OnOK();
    return true;
  }
  return false;
}

void Dialog::OnClose() { OnCancel(); }

void Dialog::OnDestroy() {}

void Dialog::OnSysCommand(uint32_t command) { Window::OnSysCommand(command); }

}  // namespace platform
