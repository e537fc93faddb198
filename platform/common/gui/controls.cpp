// The standard controls: push buttons (plain or owner-drawn), static texts
// and static icons.
#include "platform/common/gui/gui_core.h"
#include "platform/resource.h"

namespace platform {

namespace {
constexpr ColorRef kButtonFace = Rgb(225, 225, 225);
constexpr ColorRef kButtonPressedFace = Rgb(204, 228, 247);
constexpr ColorRef kButtonBorder = Rgb(173, 173, 173);
constexpr ColorRef kDefaultBorder = Rgb(0, 120, 215);
constexpr ColorRef kTextColour = Rgb(0, 0, 0);
constexpr ColorRef kGreyText = Rgb(131, 131, 131);
}  // namespace

void Button::DrawItem(const DrawItemRecord&) {}

void Button::OnPaint(Dc& dc) {
  Rect client = GetClientRect();
  if (owner_draw_) {
    DrawItemRecord record;
    record.controlId = ControlId();
    record.itemState = (pressed_ ? kOdsSelected : 0) | (IsEnabled() ? 0 : kOdsDisabled);
    record.dc = &dc;
    record.item = client;
    DrawItem(record);
    return;
  }
  dc.FillSolidRect(client, pressed_ ? kButtonPressedFace : kButtonFace);
  dc.FrameRect(client, default_ || pressed_ ? kDefaultBorder : kButtonBorder);
  if (default_) dc.FrameRect({1, 1, client.right - 1, client.bottom - 1}, kDefaultBorder);
  dc.SelectFont(GetFont());
  dc.SetBkMode(kTransparent);
  dc.SetTextColor(IsEnabled() ? kTextColour : kGreyText);
  Rect text = pressed_ ? client.Offset(1, 1) : client;
  dc.DrawTextInRect(GetText(), text, kTextCenter | kTextVCenter | kTextSingleLine);
}

void Button::OnMouseMove(Point p) {
  if (!tracking_press_) return;
  bool inside = GetClientRect().Contains(p);
  if (inside != pressed_) {
    pressed_ = inside;
    Invalidate(false);
  }
}

void Button::OnLButtonDown(Point) {
  SetCapture();
  tracking_press_ = true;
  pressed_ = true;
  Invalidate(false);
}

void Button::OnLButtonUp(Point) {
  if (!tracking_press_) return;
  tracking_press_ = false;
  ReleaseCapture();
  bool clicked = pressed_;
  pressed_ = false;
  Invalidate(false);
  if (clicked && GetParent()) GuiCore::NotifyCommand(*GetParent(), ControlId());
}

bool StaticText::OnEraseBackground(Dc& dc) {
  dc.FillSolidRect(GetClientRect(), BackgroundColour());
  return true;
}

void StaticText::OnPaint(Dc& dc) {
  dc.SelectFont(GetFont());
  dc.SetBkMode(kTransparent);
  dc.SetTextColor(IsEnabled() ? kTextColour : kGreyText);
  dc.DrawTextInRect(GetText(), GetClientRect(), kTextLeft | kTextWordBreak);
}

void StaticIcon::OnPaint(Dc& dc) {
  Icon icon = LoadIconResource(icon_id_, 32);
  dc.DrawIcon(0, 0, icon);
}

}  // namespace platform
