// Message boxes and the system menu pop-up, both drawn by the toolkit itself
// so that Korean texts show in the same font as everything else.

#include <cstdio>
#include <cstring>

#include "platform/codepage.h"
#include "platform/paths.h"
#include "platform/common/gui/gui_core.h"

namespace platform {

namespace {

// The program's file name without its extension, as the caption of
// message boxes that name none.
std::string ProgramTitle() {
  std::string name = ProgramFileName();
  if (name.empty()) return "KIVRO";
  size_t dot = name.find_last_of('.');
  if (dot != std::string::npos && dot > 0) name.resize(dot);
  return name;
}

constexpr int32_t kMargin = 16;
constexpr int32_t kButtonWidth = 80;
constexpr int32_t kButtonHeight = 24;

}  // namespace

int32_t ShowMessageBox(Window* owner, const std::string& text, const std::string& caption,
                   uint32_t flags) {
  InitGui();
  std::string title = caption.empty() ? ProgramTitle() : caption;
  if (std::string(GuiBackendName()) == "offscreen") {
    fprintf(stderr, "[%s] %s\n", Cp949ToUtf8(title).c_str(), Cp949ToUtf8(text).c_str());
    return kIdOk;
  }
  if (!IsUiThread()) {
    int32_t result = 0;
    WindowHandle h = owner ? owner->Handle() : 0;
    if (owner && h == 0) return 0;
    GuiCore::Call(h, [&] { result = ShowMessageBox(owner, text, caption, flags); });
    return result;
  }
  Font font;
  font.Create(-12, 400, Utf8ToCp949("굴림"));
  // Size the box around the text's longest line.
  MemoryDc measure;
  measure.SelectFont(&font);
  int32_t width = 0, lines = 0;
  size_t start = 0;
  while (start <= text.size()) {
    size_t end = text.find('\n', start);
    width = std::max(width, measure.GetTextExtent(text.substr(start, end - start)).cx);
    ++lines;
    if (end == std::string::npos) break;
    start = end + 1;
  }
  bool with_cancel = (flags & 0xF) == kMbOkCancel;
  int32_t buttons = with_cancel ? 2 * kButtonWidth + 8 : kButtonWidth;
  int32_t w = std::min(std::max({width + 2 * kMargin, buttons + 2 * kMargin, 220}), 640);
  int32_t text_h = std::max(lines, 1) * std::max(font.LineHeight(), 14);
  int32_t h = kMargin + text_h + kMargin + kButtonHeight + 12;
  DialogTemplate t;
  t.dialogUnits = false;
  t.size = {w, h};
  t.caption = title;
  t.style = kStylePopup | kStyleCaption | kStyleSysMenu | kStyleVisible | kStyleModalFrame;
  t.fontFace = Utf8ToCp949("굴림");
  t.controls.push_back(
      {ControlTemplate::kStaticText, -1, {kMargin, kMargin, w - kMargin, kMargin + text_h}, text});
  int32_t bx = w - kMargin - buttons, by = h - 12 - kButtonHeight;
  t.controls.push_back({ControlTemplate::kDefPushButton,
                        kIdOk,
                        {bx, by, bx + kButtonWidth, by + kButtonHeight},
                        Utf8ToCp949("확인")});
  if (with_cancel)
    t.controls.push_back(
        {ControlTemplate::kPushButton,
         kIdCancel,
         {bx + kButtonWidth + 8, by, bx + 2 * kButtonWidth + 8, by + kButtonHeight},
         Utf8ToCp949("취소")});
  Dialog box(t, owner && owner->IsAlive() ? owner : nullptr);
  int32_t result = box.DoModal();
  return result < 0 ? 0 : result;
}

namespace {

// The pop-up of a window's system menu.
class SystemMenuPopup : public Window {
 public:
  static constexpr int32_t kItemHeight = 24;
  static constexpr int32_t kSeparatorHeight = 9;
  static constexpr int32_t kWidth = 220;

  explicit SystemMenuPopup(std::vector<SystemMenuEntry> entries) : entries_(std::move(entries)) {
    menu_font_.Create(-12, 400, Utf8ToCp949("굴림"));
  }

  int32_t Height() const {
    int32_t h = 4;
    for (auto& e : entries_) h += e.id ? kItemHeight : kSeparatorHeight;
    return h;
  }

  bool Open(Window& owner, Point at) {
    return CreateTopLevel(&owner, {at.x, at.y, at.x + kWidth, at.y + Height()},
                          kStylePopup | kStyleBorder, "");
  }

  uint32_t chosen = 0;
  bool done = false;

 protected:
  int32_t ItemAt(Point p) const {
    int32_t y = 2;
    for (size_t i = 0; i < entries_.size(); ++i) {
      int32_t h = entries_[i].id ? kItemHeight : kSeparatorHeight;
      if (p.y >= y && p.y < y + h) return entries_[i].id ? static_cast<int32_t>(i) : -1;
      y += h;
    }
    return -1;
  }

  void OnPaint(Dc& dc) override {
    Rect client = GetClientRect();
    dc.FillSolidRect(client, Rgb(249, 249, 249));
    dc.FrameRect(client, Rgb(160, 160, 160));
    dc.SelectFont(&menu_font_);
    dc.SetBkMode(kTransparent);
    int32_t y = 2;
    for (size_t i = 0; i < entries_.size(); ++i) {
      if (!entries_[i].id) {
        dc.FillSolidRect({8, y + 4, client.right - 8, y + 5}, Rgb(215, 215, 215));
        y += kSeparatorHeight;
        continue;
      }
      if (static_cast<int32_t>(i) == hot_)
        dc.FillSolidRect({2, y, client.right - 2, y + kItemHeight}, Rgb(204, 228, 247));
      dc.SetTextColor(Rgb(0, 0, 0));
      dc.DrawTextInRect(entries_[i].text, {16, y, client.right - 8, y + kItemHeight},
                  kTextVCenter | kTextSingleLine);
      y += kItemHeight;
    }
  }

  void OnMouseMove(Point p) override {
    int32_t item = ItemAt(p);
    if (item != hot_) {
      hot_ = item;
      Invalidate(true);
    }
    TrackMouseEvent(kTrackLeave, 0);
  }

  void OnMouseLeave() override {
    hot_ = -1;
    Invalidate(true);
  }

  void OnLButtonUp(Point p) override {
    int32_t item = ItemAt(p);
    if (item < 0) return;
    chosen = entries_[item].id;
    done = true;
  }

  bool OnKeyDown(int32_t key) override {
    if (key == kKeyEscape) done = true;
    return true;
  }

 private:
  std::vector<SystemMenuEntry> entries_;
  Font menu_font_;
  int32_t hot_ = -1;
};

}  // namespace

void GuiCore::ShowSystemMenu(Window& top, Point at) {
  std::vector<SystemMenuEntry> entries;
  entries.push_back({kScMinimize, Utf8ToCp949("최소화(&N)")});
  entries.push_back({kScClose, Utf8ToCp949("닫기(&C)      Alt+F4")});
  for (auto& e : top.system_menu_) entries.push_back(e);
  // Menu texts show without their mnemonic marks.
  for (auto& e : entries) {
    std::string& s = e.text;
    for (size_t i = s.find('&'); i != std::string::npos; i = s.find('&', i)) s.erase(i, 1);
  }
  SystemMenuPopup popup(entries);
  if (!popup.Open(top, at)) return;
  static_cast<Window&>(popup).top_->dismiss = [&] { popup.done = true; };
  popup.Show(ShowCommand::kShow);
  WindowHandle owner = top.Handle();
  PushModal(&popup);
  RunLoop([&] { return !popup.done && popup.IsAlive() && Find(owner) == &top; });
  PopModal(&popup);
  popup.Destroy();
  if (popup.chosen && Find(owner) == &top) top.OnSysCommand(popup.chosen);
}

}  // namespace platform
