// CTuvButton: an owner-drawn push button painted from a four-cell skin. It
// follows the mouse to show the hover cell, shows the disabled cell while its
// disabled look is on (and then ignores clicks, even when enabled as a
// window), and erases by copying the parent's pixels so the key-coloured
// parts of its cells show the parent's picture.
//
// Thread safety: SetDisabledLook and ClearDisabledLook may be called from any
// thread (they run on the UI thread); everything else belongs to the UI
// thread.
#pragma once
#include <cstdint>

#include "launcher/tuv_bmp.h"
#include "platform/window.h"

namespace kivro {

class CTuvButton : public platform::Button {
 public:
  CTuvButton() : platform::Button(true) {}

  // Loads skin `id`, keeps `key` as the transparent colour and resizes the
  // button to exactly one cell at its current position. False when the
  // skin cannot be loaded (the button is then left as it was).
  bool SetSkin(int32_t id, platform::ColorRef key);
  void SetDisabledLook();
  void ClearDisabledLook();
  // Draws the current cell (disabled, hover or normal; never pressed) into
  // the parent's back buffer at the button's place in the parent.
  void DrawOnParent(platform::Dc& dc);

  const CTuvBmp& Skin() const { return skin_; }
  platform::ColorRef Key() const { return key_; }
  int32_t DisabledLook() const { return disabledLook_; }
  int32_t Tracking() const { return tracking_; }
  int32_t Hover() const { return hover_; }
  const platform::Rect& OwnRect() const { return ownRect_; }
  const platform::Rect& RectInParent() const { return rectInParent_; }

 protected:
  void DrawItem(const platform::DrawItemRecord& record) override;
  void OnMouseMove(platform::Point p) override;
  void OnMouseHover(platform::Point p) override;
  void OnMouseLeave() override;
  void OnLButtonDown(platform::Point p) override;
  bool OnSetCursor() override;
  bool OnEraseBackground(platform::Dc& dc) override;

 private:
  void SetLook(int32_t on);

  CTuvBmp skin_;
  platform::ColorRef key_ = 0;
  int32_t disabledLook_ = 0;
  int32_t tracking_ = 0;
  int32_t hover_ = 0;
  platform::Rect ownRect_;
  platform::Rect rectInParent_;
};

}  // namespace kivro
