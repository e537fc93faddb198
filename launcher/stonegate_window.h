// The launcher window on a screen: a borderless 405 x 218 pop-up painted
// from the skin bitmaps through a 640 x 410 back buffer, with four skinned
// buttons (only Cancel lies in the visible area) and a browser pane that
// stays hidden. It shows a CStonegateDlg and hands it the window's events.
//
// Thread safety: the window's handlers run on the UI thread; the surface
// operations may be called from any thread (the toolkit runs them on the UI
// thread while the caller waits, and drops them once the window is gone).
#pragma once
#include <cstdint>
#include <memory>

#include "launcher/stonegate_surface.h"
#include "platform/window.h"

namespace kivro::launcher {

class StonegateWindow : public I_StonegateSurface {
 public:
  StonegateWindow();
  ~StonegateWindow() override;

  int32_t RunModal(CStonegateDlg& dialog) override;
  void EndDialog(int32_t result) override;
  bool LoadSkin() override;
  void SetTimer(uint32_t id, uint32_t milliseconds) override;
  void KillTimer(uint32_t id) override;
  void ButtonChanged(int32_t id) override;
  void RepaintNow() override;
  void ShowMessageBox(const char* text) override;
  void Announce(const char*) override {}

  // The toolkit window (tests look at its pixels and controls).
  platform::Window* DialogWindow();

  class Dialog;  // the toolkit dialog (stonegate_window.cpp)

 private:
  std::unique_ptr<Dialog> window_;
};

}  // namespace kivro::launcher
