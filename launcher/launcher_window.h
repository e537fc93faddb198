// The launcher window as the link and the manager's callbacks see it.
// CStonegateDlg is the one implementation in the program; tests use fakes.
#pragma once
#include <cstdint>

// Text lines and bars of the window.

namespace kivro {

enum LauncherLine : int32_t { kLineInstall = 0, kLineFile = 1, kLineThird = 2, kLineFourth = 3 };
enum LauncherBar : int32_t { kBarInstall = 0, kBarFile = 1, kBarThird = 2 };

class I_LauncherWindow {
 public:
  // Line 0 install, 1 file, 2 third, any other value the fourth (never
  // drawn). Texts are cut to 259 characters.
  virtual void SetText(const char* text, int32_t line) = 0;
  // Bar 0 install, 1 file, any other value the third.
  virtual void SetProgress(int32_t value, int32_t bar) = 0;
  // Empties the install, file and third texts and zeroes the three bars.
  virtual void ClearProgress() = 0;
  // Only Cancel stays usable while the update runs.
  virtual void LockForUpdate() = 0;
  // Shows the current texts and bars; returns once they are shown.
  virtual void Repaint() = 0;
  // Acts on a result message (see launcher/result_messages.h).
  virtual void ShowResult(const char* message) = 0;
  // Starts the game and closes the window.
  virtual void StartGame() = 0;

 protected:
  // Calls arrive from the manager's worker threads until the window has
  // been detached from the link (CLauncherLink::DetachWindow), which blocks
  // the window's thread until every call has returned. A window that waits
  // for its own thread inside a call must therefore stop waiting once it is
  // closing.
  ~I_LauncherWindow() = default;
};

}  // namespace kivro
