// CStonegateDlg: the launcher's only window. This class holds what the
// window is and does (texts, bars, buttons, the delayed check, the results,
// the game start); I_StonegateSurface shows it, either as the skinned window
// (launcher/stonegate_window.h) or on the terminal (launcher/console_surface.h).
//
// Thread safety: the handlers (OnInitDialog, OnTimer, OnCommand) run on the
// window's thread. The I_LauncherWindow operations come from the manager's
// workers; they write whole texts and values under the dialog's lock, and the
// surface reads them through Snapshot. Once the window is closing, results
// and repaints are dropped; DoModal detaches the window from the link after
// the modal run, so nothing reaches it afterwards.
#pragma once
#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>

#include "launcher/launcher_window.h"
#include "launcher/stonegate_surface.h"
#include "update/fixed_text.h"

namespace kivro {

class CLauncherLink;
class I_Manager;

class CStonegateDlg : public I_LauncherWindow {
 public:
  // Control ids of the buttons.
  enum : int32_t { kIdUpdate = 1008, kIdCancel = 1009, kIdStart = 1010, kIdExit = 1011 };
  static constexpr int32_t kIdCancelResult = 2;  // the modal result of a cancelled window
  static constexpr uint32_t kCheckTimerId = 11;
  static constexpr uint32_t kCheckDelayMs = 1500;

  struct ButtonState {
    bool enabled = true;         // the window's enabled state
    bool disabled_look = false;  // draws the fourth skin cell
  };

  // What the window shows.
  struct View {
    char texts[4][kTextSize] = {};  // install, file, third, fourth
    int32_t bars[3] = {};           // install, file, third
  };

  // Starts the game: makes `install_folder` the current directory and opens
  // `executable` through the shell. The outcome is not looked at.
  typedef void (*GameOpener)(const std::string& install_folder, const std::string& executable);

  // `manager` null: the process's manager (GetLauncherManager).
  CStonegateDlg(I_StonegateSurface& surface, CLauncherLink& link, I_Manager* manager = nullptr);
  ~CStonegateDlg();
  CStonegateDlg(const CStonegateDlg&) = delete;
  CStonegateDlg& operator=(const CStonegateDlg&) = delete;

  // Runs the window modally; afterwards the link no longer reaches it.
  int32_t DoModal();
  void SetGameOpener(GameOpener opener) { game_opener_ = opener; }

  // ---- handlers, on the window's thread ----
  bool OnInitDialog();
  void OnTimer(uint32_t id);
  void OnCommand(int32_t id);
  void OnUpdate();
  void OnCancel();
  void OnStart();
  void OnExit();

  // ---- I_LauncherWindow ----
  void SetText(const char* text, int32_t line) override;
  void SetProgress(int32_t value, int32_t bar) override;
  void ClearProgress() override;
  void LockForUpdate() override;
  void Repaint() override;
  void ShowResult(const char* message) override;
  void StartGame() override;

  // How the window ended, for the program's exit code.
  enum class Outcome : int32_t { kNone = 0, kGameStarted = 1, kFailureShown = 2 };
  Outcome GetOutcome() const { return outcome_.load(); }

  // For the surface.
  View Snapshot() const;
  ButtonState Button(int32_t id) const;
  bool Closing() const { return closing_.load(); }
  // Closes the window with `result` (from any thread).
  void EndDialog(int32_t result);

 private:
  // Sets the window's enabled state and the disabled look together.
  void EnableButton(int32_t id, bool enable);
  ButtonState* ButtonFor(int32_t id);
  // Buttons after a result that leaves the game unstarted.
  void ButtonsForRetry();

  I_StonegateSurface& surface_;
  CLauncherLink& link_;
  I_Manager* manager_;
  GameOpener game_opener_;

  mutable std::mutex lock_;  // guards view_ and the button states
  View view_;
  ButtonState cancel_, update_, exit_, start_;
  std::atomic<bool> closing_{false};
  std::atomic<bool> timer_running_{false};
  std::atomic<Outcome> outcome_{Outcome::kNone};
};

namespace launcher {
// The game start of the program: current directory, then the shell's open.
void OpenGameThroughShell(const std::string& install_folder, const std::string& executable);
}  // namespace launcher

}  // namespace kivro
