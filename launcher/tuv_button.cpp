#include "launcher/tuv_button.h"

namespace kivro {

using platform::Dc;
using platform::Point;
using platform::Rect;

bool CTuvButton::SetSkin(int32_t id, platform::ColorRef key) {
  if (!skin_.LoadCells(id)) return false;
  key_ = key;
  ownRect_ = {0, 0, skin_.CellWidth(), skin_.CellHeight()};
  if (!IsAlive() || !GetParent()) return true;
  Rect window = GetWindowRect();
  Point at = GetParent()->ScreenToClient(window.TopLeft());
  rectInParent_ = {at.x, at.y, at.x + skin_.CellWidth(), at.y + skin_.CellHeight()};
  Move(rectInParent_, true);
  Invalidate(true);
  return true;
}

void CTuvButton::SetLook(int32_t on) {
  // Before the window exists nobody else can touch the button.
  if (!IsAlive()) {
    disabledLook_ = on;
    return;
  }
  RunOnUiThread([&] {
    disabledLook_ = on;
    Invalidate(true);
  });
}

void CTuvButton::SetDisabledLook() { SetLook(1); }
void CTuvButton::ClearDisabledLook() { SetLook(0); }

void CTuvButton::DrawOnParent(Dc& dc) {
  int32_t cell = disabledLook_ ? 3 : (hover_ ? 1 : 0);
  Point at = GetWindowRect().TopLeft();
  if (GetParent()) {
    Point origin = GetParent()->GetWindowRect().TopLeft();
    at = {at.x - origin.x, at.y - origin.y};
  }
  skin_.DrawCell(dc, cell, at.x, at.y, key_);
}

void CTuvButton::DrawItem(const platform::DrawItemRecord& record) {
  int32_t cell = 0;
  if (disabledLook_) {
    cell = 3;
  } else if (record.itemState & platform::kOdsSelected) {
    cell = 2;
  } else if (hover_) {
    cell = 1;
  }
  skin_.DrawCell(*record.dc, cell, 0, 0, key_);
}

void CTuvButton::OnMouseMove(Point p) {
  if (!tracking_)
    tracking_ = TrackMouseEvent(platform::kTrackHover | platform::kTrackLeave, 1) ? 1 : 0;
  platform::Button::OnMouseMove(p);
}

void CTuvButton::OnMouseHover(Point) {
  hover_ = 1;
  Invalidate(true);
}

void CTuvButton::OnMouseLeave() {
  tracking_ = 0;
  hover_ = 0;
  Invalidate(true);
}

void CTuvButton::OnLButtonDown(Point p) {
  // With the disabled look the click is swallowed: the button never
  // becomes pressed and never reports a click.
  if (!disabledLook_) platform::Button::OnLButtonDown(p);
}

bool CTuvButton::OnSetCursor() { return true; }

bool CTuvButton::OnEraseBackground(Dc& dc) {
  if (!GetParent()) return true;
  platform::WindowDc parent_dc(*GetParent());
  int32_t w = skin_.CellWidth(), h = skin_.CellHeight();
  platform::Bitmap copy = platform::CreateCompatibleBitmap(dc, w, h);
  platform::MemoryDc copy_dc;
  copy_dc.SelectBitmap(&copy);
  copy_dc.BitBlt(0, 0, w, h, &parent_dc, rectInParent_.left, rectInParent_.top, platform::kSrcCopy);
  dc.BitBlt(0, 0, w, h, &copy_dc, 0, 0, platform::kSrcCopy);
  copy_dc.SelectBitmap(nullptr);
  return true;
}

}  // namespace kivro
