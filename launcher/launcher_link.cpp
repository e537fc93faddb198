#include "launcher/launcher_link.h"

#include <chrono>
#include <cstdio>

#include "launcher/client_report.h"
#include "launcher/result_messages.h"
#include "platform/debug.h"
#include "update/launcher_manager.h"
#include "update/own_roles.h"
#include "update/release_guard.h"
#include "update/verify_rules.h"

namespace kivro {

namespace {

// "프로그램 설치 중 [%d/%d]" in code page 949.
constexpr const char* kInstallCountFormat =
    "\xC7\xC1\xB7\xCE\xB1\xD7\xB7\xA5 \xBC\xB3\xC4\xA1 \xC1\xDF [%d/%d]";

}  // namespace

CLauncherLink& CLauncherLink::Instance() {
  // Never destroyed: workers may still report while the process ends.
  static CLauncherLink* link = new CLauncherLink();
  return *link;
}

CLauncherLink::CLauncherLink() = default;

CLauncherLink::WindowUse::WindowUse(CLauncherLink& link) : link_(link) {
  std::lock_guard<std::mutex> hold(link_.lock_);
  window_ = link_.window_;
  if (window_ != nullptr) ++link_.window_uses_;
}

CLauncherLink::WindowUse::~WindowUse() {
  if (window_ == nullptr) return;
  std::lock_guard<std::mutex> hold(link_.lock_);
  if (--link_.window_uses_ == 0) link_.changed_.notify_all();
}

void CLauncherLink::AttachWindow(I_LauncherWindow* window) {
  std::lock_guard<std::mutex> hold(lock_);
  window_ = window;
}

void CLauncherLink::DetachWindow(I_LauncherWindow* window) {
  std::unique_lock<std::mutex> hold(lock_);
  if (window_ == window) window_ = nullptr;
  changed_.wait(hold, [this] { return window_uses_ == 0; });
}

void CLauncherLink::Init() {
  SetRoleFactory(&OwnRoleFactory());
  InitWith(GetLauncherManager());
}

void CLauncherLink::InitWith(I_Manager* manager) {
  manager_ = manager;
  paths_ = launcher::CurrentLauncherPaths();
  Configure();
  RegisterCallbacks();
  for (const StandardVerifyRule& rule : kStandardVerifyRules) {
    manager_->AddVerifyRule(rule.extension, rule.flags);
  }
}

void CLauncherLink::Configure() {
  manager_->SetPatchInfoKind(launcher::kPatchInfoKind);
  manager_->SetSubdirMode(launcher::kSubdirMode);
  manager_->SetDownloaderKind(launcher::kDownloaderKind);
  manager_->SetLocalBase(paths_.install_folder.c_str());
  manager_->SetUrlBase(paths_.url_base.c_str());
  ConfigureReleaseGuard();
}

void CLauncherLink::ConfigureReleaseGuard() {
  std::string key = launcher::ReleaseKey();
  std::vector<std::string> mirrors = launcher::MirrorHosts();
  auto* manager = dynamic_cast<CLauncherManager*>(manager_);
  if (manager == nullptr || (key.empty() && mirrors.empty())) return;
  // Lives as long as the manager, which keeps a pointer to it. A built-in
  // key that is not a key fails every check (the guard stays closed).
  static CReleaseGuard guard;
  std::string error;
  if (!guard.SetPublicKey(key, &error)) platform::DebugPrintf("[launcher] release key: %s\n", error.c_str());
  guard.SetMirrors(mirrors);
  guard.SetReplayRecord(kReleaseRecordKey, paths_.install_folder);
  manager->SetReleaseGuard(&guard);
}

void CLauncherLink::RegisterCallbacks() {
  manager_->SetResultCallback(&CLauncherLink::OnManagerResult);
  manager_->SetDownloadCountCallback(&CLauncherLink::OnDownloadCount);
  manager_->SetApplyCountCallback(&CLauncherLink::OnApplyCount);
  manager_->SetFileNameCallback(&CLauncherLink::OnFileName);
  manager_->SetFilePercentCallback(&CLauncherLink::OnFilePercent);
  manager_->SetApplyTextCallback(&CLauncherLink::OnApplyText);
  manager_->SetApplyPercentCallback(&CLauncherLink::OnApplyPercent);
}

int32_t CLauncherLink::StartCheck() {
  // Busy before the call: the result may arrive before CheckUpdate returns.
  SetBusy(true);
  int32_t started = manager_->CheckUpdate(paths_.patch_list_path.c_str(),
                                          paths_.patch_list_url.c_str());
  if (started == 0) HandleResult(RESULT_CHECK_FAILED);
  return started;
}

void CLauncherLink::BeginUpdate() {
  {
    WindowUse use(*this);
    if (use.window() != nullptr) {
      use.window()->LockForUpdate();
      use.window()->ClearProgress();
    }
  }
  manager_->StartUpdate();
}

void CLauncherLink::RequestCancel() {
  if (manager_ != nullptr) manager_->Cancel();
}

bool CLauncherLink::ComposeClientReport() { return launcher::ComposeLauncherClientReport(); }

void CLauncherLink::SetBusy(bool busy) {
  std::lock_guard<std::mutex> hold(lock_);
  busy_ = busy;
  changed_.notify_all();
}

bool CLauncherLink::Busy() {
  std::lock_guard<std::mutex> hold(lock_);
  return busy_;
}

bool CLauncherLink::WaitUntilIdle(uint32_t timeout_ms) {
  std::unique_lock<std::mutex> hold(lock_);
  return changed_.wait_for(hold, std::chrono::milliseconds(timeout_ms), [this] { return !busy_; });
}

void CLauncherLink::HandleResult(int32_t code) {
  const char* message = launcher::MessageForResult(code);
  if (message == nullptr) return;  // the one-shot operations show nothing
  WindowUse use(*this);
  I_LauncherWindow* window = use.window();
  if (code == RESULT_CHECK_DONE && manager_->HasDownloads() == 1) {
    // A window that has gone will not watch an update: the program is ending.
    if (window != nullptr) {
      BeginUpdate();
      return;
    }
    SetBusy(false);
    return;
  }
  SetBusy(false);
  if (window == nullptr) return;  // closed: nobody to tell
  if (code == RESULT_CHECK_DONE) window->SetText(message, kLineFourth);
  window->ShowResult(message);
}

void CLauncherLink::OnManagerResult(int32_t code) { Instance().HandleResult(code); }

void CLauncherLink::OnDownloadCount(int32_t, int32_t) {}

void CLauncherLink::OnApplyCount(int32_t total, int32_t done) {
  WindowUse use(Instance());
  if (use.window() == nullptr) return;
  char text[260];
  snprintf(text, sizeof text, kInstallCountFormat, done, total);
  // Full when there is nothing (left) to install. 64-bit so that large
  // counts cannot overflow; a negative count shows an empty bar.
  int32_t value = 100;
  if (total > 0 && done < total) value = done <= 0 ? 0 : static_cast<int32_t>(int64_t{done} * 100 / total);
  use.window()->SetText(text, kLineInstall);
  use.window()->SetProgress(value, kBarInstall);
  use.window()->Repaint();
}

void CLauncherLink::OnFileName(const char* text) {
  WindowUse use(Instance());
  if (use.window() == nullptr) return;
  use.window()->SetText(text, kLineFile);
  // A new file starts empty: the engine reports only changed percentages,
  // so the bar would otherwise show the previous file's 100 % until the
  // first chunk of this one arrives.
  use.window()->SetProgress(0, kBarFile);
  use.window()->Repaint();
}

void CLauncherLink::OnFilePercent(int32_t percent) {
  WindowUse use(Instance());
  if (use.window() == nullptr) return;
  use.window()->SetProgress(percent, kBarFile);
  use.window()->Repaint();
}

void CLauncherLink::OnApplyText(const char* text) {
  WindowUse use(Instance());
  if (use.window() == nullptr) return;
  use.window()->SetText(text, kLineThird);
  use.window()->Repaint();
}

void CLauncherLink::OnApplyPercent(int32_t percent) {
  WindowUse use(Instance());
  if (use.window() == nullptr) return;
  use.window()->SetProgress(percent, kBarThird);
  use.window()->Repaint();
}

}  // namespace kivro
