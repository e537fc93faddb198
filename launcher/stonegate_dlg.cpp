#include "launcher/stonegate_dlg.h"

#include "launcher/launcher_link.h"
#include "launcher/result_messages.h"
#include "update/launcher_manager.h"

namespace kivro {

CStonegateDlg::CStonegateDlg(I_StonegateSurface& surface, CLauncherLink& link, I_Manager* manager)
    : surface_(surface),
      link_(link),
      manager_(manager),
      game_opener_(&launcher::OpenGameThroughShell) {}

CStonegateDlg::~CStonegateDlg() {
  // A dialog destroyed without its modal run having ended (never in the
  // program) must not stay reachable from the workers.
  closing_ = true;
  link_.DetachWindow(this);
}

int32_t CStonegateDlg::DoModal() {
  int32_t result = surface_.RunModal(*this);
  closing_ = true;
  link_.DetachWindow(this);
  return result;
}

bool CStonegateDlg::OnInitDialog() {
  ClearProgress();
  if (!surface_.LoadSkin()) {
    // The window cannot be drawn; say so and close, but finish the
    // initialisation like a healthy window so nothing is left half-set.
    surface_.ShowMessageBox(launcher::kMsgSkinFailed);
    EndDialog(kIdCancelResult);
  }
  EnableButton(kIdStart, false);
  EnableButton(kIdExit, false);
  EnableButton(kIdUpdate, false);
  EnableButton(kIdCancel, false);
  link_.AttachWindow(this);
  if (manager_ != nullptr) {
    link_.InitWith(manager_);
  } else {
    link_.Init();
  }
  timer_running_ = true;
  surface_.SetTimer(kCheckTimerId, kCheckDelayMs);
  return true;
}

void CStonegateDlg::OnTimer(uint32_t id) {
  if (id != kCheckTimerId) return;
  // The check starts once: the timer is stopped before anything else, and a
  // late tick of a timer that was already stopped is ignored.
  if (!timer_running_.exchange(false)) return;
  surface_.KillTimer(kCheckTimerId);
  EnableButton(kIdStart, false);
  EnableButton(kIdExit, true);
  EnableButton(kIdUpdate, true);
  EnableButton(kIdCancel, false);
  OnUpdate();
}

void CStonegateDlg::OnCommand(int32_t id) {
  // A button that is disabled sends nothing; the check matters for
  // commands that reach the dialog by other ways (keyboard, tests).
  if (!Button(id).enabled) return;
  switch (id) {
    case kIdUpdate:
      OnUpdate();
      break;
    case kIdCancel:
      OnCancel();
      break;
    case kIdStart:
      OnStart();
      break;
    case kIdExit:
      OnExit();
      break;
    default:
      break;
  }
}

void CStonegateDlg::OnUpdate() {
  EnableButton(kIdStart, false);
  EnableButton(kIdExit, false);
  EnableButton(kIdUpdate, false);
  EnableButton(kIdCancel, false);
  link_.ComposeClientReport();
  link_.StartCheck();
}

void CStonegateDlg::OnCancel() {
  EnableButton(kIdCancel, false);
  // Closing first: the result of the stopped update (4) is not shown.
  closing_ = true;
  link_.RequestCancel();
  EndDialog(kIdCancelResult);
}

void CStonegateDlg::OnStart() { StartGame(); }

void CStonegateDlg::OnExit() { EndDialog(kIdCancelResult); }

void CStonegateDlg::EndDialog(int32_t result) {
  closing_ = true;
  surface_.EndDialog(result);
}

void CStonegateDlg::SetText(const char* text, int32_t line) {
  if (line < kLineInstall || line > kLineFourth) line = kLineFourth;
  std::lock_guard<std::mutex> hold(lock_);
  CopyText(view_.texts[line], text);  // longer texts are cut to 259 characters
}

void CStonegateDlg::SetProgress(int32_t value, int32_t bar) {
  if (bar != kBarInstall && bar != kBarFile) bar = kBarThird;
  std::lock_guard<std::mutex> hold(lock_);
  view_.bars[bar] = value;
}

void CStonegateDlg::ClearProgress() {
  std::lock_guard<std::mutex> hold(lock_);
  for (int line = kLineInstall; line <= kLineThird; ++line) view_.texts[line][0] = '\0';
  for (int32_t& bar : view_.bars) bar = 0;
}

void CStonegateDlg::LockForUpdate() {
  EnableButton(kIdUpdate, false);
  EnableButton(kIdExit, false);
  EnableButton(kIdStart, false);
  EnableButton(kIdCancel, true);
}

void CStonegateDlg::Repaint() {
  if (closing_) return;
  surface_.RepaintNow();
}

void CStonegateDlg::ButtonsForRetry() {
  EnableButton(kIdStart, false);
  EnableButton(kIdExit, true);
  EnableButton(kIdUpdate, true);
  EnableButton(kIdCancel, false);
}

void CStonegateDlg::ShowResult(const char* message) {
  if (closing_) return;  // the user closed the window: nobody waits for this
  switch (launcher::ActionForMessage(message)) {
    case launcher::ResultAction::kStartGame:
      EnableButton(kIdStart, true);
      EnableButton(kIdExit, true);
      EnableButton(kIdUpdate, false);
      EnableButton(kIdCancel, false);
      surface_.Announce(message);
      StartGame();
      break;
    case launcher::ResultAction::kShowAndClose:
      outcome_ = Outcome::kFailureShown;
      surface_.ShowMessageBox(message);
      ButtonsForRetry();
      EndDialog(kIdCancelResult);
      break;
    case launcher::ResultAction::kShowAndStay:
      outcome_ = Outcome::kFailureShown;
      surface_.ShowMessageBox(message);
      ButtonsForRetry();
      break;
  }
}

void CStonegateDlg::StartGame() {
  launcher::LauncherPaths paths = link_.Paths();
  if (paths.install_folder.empty()) paths = launcher::CurrentLauncherPaths();
  std::string note = "Starting " + paths.game_executable;
  surface_.Announce(note.c_str());
  game_opener_(paths.install_folder, paths.game_executable);
  outcome_ = Outcome::kGameStarted;
  EndDialog(kIdCancelResult);
}

CStonegateDlg::View CStonegateDlg::Snapshot() const {
  std::lock_guard<std::mutex> hold(lock_);
  return view_;
}

CStonegateDlg::ButtonState* CStonegateDlg::ButtonFor(int32_t id) {
  switch (id) {
    case kIdUpdate:
      return &update_;
    case kIdCancel:
      return &cancel_;
    case kIdStart:
      return &start_;
    case kIdExit:
      return &exit_;
    default:
      return nullptr;
  }
}

CStonegateDlg::ButtonState CStonegateDlg::Button(int32_t id) const {
  std::lock_guard<std::mutex> hold(lock_);
  const ButtonState* state = const_cast<CStonegateDlg*>(this)->ButtonFor(id);
  return state != nullptr ? *state : ButtonState{false, true};
}

void CStonegateDlg::EnableButton(int32_t id, bool enable) {
  {
    std::lock_guard<std::mutex> hold(lock_);
    ButtonState* state = ButtonFor(id);
    if (state == nullptr) return;
    state->enabled = enable;
    state->disabled_look = !enable;
  }
  surface_.ButtonChanged(id);
}

}  // namespace kivro
