// What the launcher window's logic (CStonegateDlg) needs from the display
// that shows it: the skinned window on a screen, or the terminal when there
// is no display. Tests use a recording fake.
//
// The launcher's window in three pieces: CStonegateDlg is the presenter
// (texts, bars, buttons, timers, results, the game start), an
// I_StonegateSurface the view: StonegateWindow (the skinned window on the
// toolkit) or ConsoleSurface (the terminal). CreateProgramSurface
// (program_surface.cpp) picks the view; CLauncherLink joins the presenter to
// the update manager.
#pragma once
#include <cstdint>

namespace kivro {

class CStonegateDlg;

class I_StonegateSurface {
 public:
  virtual ~I_StonegateSurface() = default;

  // Runs the window until EndDialog: creates it, calls the dialog's
  // OnInitDialog, delivers timers and button commands to the dialog on the
  // calling thread, and returns the EndDialog result (kIdCancel, 2, when the
  // window could not be made).
  virtual int32_t RunModal(CStonegateDlg& dialog) = 0;
  // Ends the modal run; from any thread.
  virtual void EndDialog(int32_t result) = 0;

  // Loads the skin (background, progress strip, font, clip region) and
  // places the buttons. False when a resource is missing.
  virtual bool LoadSkin() = 0;
  virtual void SetTimer(uint32_t id, uint32_t milliseconds) = 0;
  virtual void KillTimer(uint32_t id) = 0;
  // A button's enabled state or look changed (CStonegateDlg::Button).
  virtual void ButtonChanged(int32_t id) = 0;
  // Shows the dialog's current texts and bars; returns after they are shown.
  virtual void RepaintNow() = 0;
  // A box with an OK button; returns when it has been answered.
  virtual void ShowMessageBox(const char* text) = 0;
  // A note for the user that the window shows no box for (the success
  // messages, the game start). The skinned window ignores it.
  virtual void Announce(const char* text) = 0;
};

}  // namespace kivro
