// CLauncherLink joins the launcher window and the update manager: it
// configures the manager for the Gobanvista client, registers the window's
// callbacks, starts the check and the update, and turns the manager's result
// codes into the window's messages.
//
// Thread safety: configuration, StartCheck, RequestCancel and the window's
// attach/detach run on the window's thread; the callbacks run on the
// manager's workers. The window pointer is guarded by the link's own lock,
// and every use of the window from a callback is counted, so that
// DetachWindow can wait for the last one: a result that arrives after the
// window has gone is dropped.
#pragma once
#include <condition_variable>
#include <cstdint>
#include <mutex>

#include "launcher/launcher_config.h"
#include "launcher/launcher_window.h"
#include "update/i_manager.h"

namespace kivro {

class CLauncherLink {
 public:
  // The one link of the process, created on first use.
  static CLauncherLink& Instance();

  // The window stores itself here when it initialises.
  void AttachWindow(I_LauncherWindow* window);
  // Forgets `window` (when it is the attached one) and waits until no
  // callback uses a window any more.
  void DetachWindow(I_LauncherWindow* window);

  // GetLauncherManager, Configure, RegisterCallbacks, then the verify rules
  // in the order exe, dll, map.
  void Init();
  // The same with another manager (tests).
  void InitWith(I_Manager* manager);
  void Configure();
  // With a built-in release key or mirror hosts: the manager's release guard.
  void ConfigureReleaseGuard();
  void RegisterCallbacks();

  // CheckUpdate with the patch-list path and URL. Non-zero when the check
  // runs. When it cannot be started the check is reported as failed, so the
  // window never waits for a result that will not come.
  int32_t StartCheck();
  // The window's LockForUpdate and ClearProgress, then StartUpdate.
  void BeginUpdate();
  void RequestCancel();
  // Composes the client information report (which nothing reads).
  bool ComposeClientReport();

  // True while a check or an update started through the link has not yet
  // sent its final result.
  bool Busy();
  // Waits until not Busy(); false after `timeout_ms`.
  bool WaitUntilIdle(uint32_t timeout_ms);

  const launcher::LauncherPaths& Paths() const { return paths_; }
  I_Manager* Manager() const { return manager_; }

  // The callbacks registered with the manager.
  static void OnManagerResult(int32_t code);
  static void OnDownloadCount(int32_t total, int32_t done);  // does nothing
  static void OnApplyCount(int32_t total, int32_t done);
  static void OnFileName(const char* text);
  static void OnFilePercent(int32_t percent);
  static void OnApplyText(const char* text);
  static void OnApplyPercent(int32_t percent);

  CLauncherLink();

 private:
  // Counts one use of the window from a callback; the window is null when
  // it has gone.
  class WindowUse {
   public:
    explicit WindowUse(CLauncherLink& link);
    ~WindowUse();
    WindowUse(const WindowUse&) = delete;
    WindowUse& operator=(const WindowUse&) = delete;
    I_LauncherWindow* window() const { return window_; }

   private:
    CLauncherLink& link_;
    I_LauncherWindow* window_;
  };

  void HandleResult(int32_t code);
  void SetBusy(bool busy);

  std::mutex lock_;
  std::condition_variable changed_;
  I_LauncherWindow* window_ = nullptr;  // not owned
  int32_t window_uses_ = 0;
  bool busy_ = false;
  I_Manager* manager_ = nullptr;  // the process's manager, not owned
  launcher::LauncherPaths paths_;
};

}  // namespace kivro
