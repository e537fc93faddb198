// CLauncherManager: the one update driver of the process. It fetches the
// patch list, lets the patch info fill the download list, downloads and
// applies the items on worker threads, and reports through plain callbacks.
//
// Thread safety: all I_Manager calls come from the client's thread, or from
// inside a result callback (the launcher starts the update from the check's
// result). Configuration (roles, kinds, method, server settings) must not
// change while workers run. Callbacks are read atomically, so a client that
// goes away clears its result callback first and no later result reaches it.
// The stop flag is guarded by the cancel lock, the phase states, the busy
// bookkeeping and every result decision by the state lock (state lock before
// cancel lock, never the reverse), the own role pointers by the role lock.
#pragma once
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>

#include "platform/thread.h"
#include "update/fixed_text.h"
#include "update/i_manager.h"
#include "update/release_guard.h"
#include "update/result_codes.h"
#include "update/roles.h"
#include "update/work_lists.h"

namespace kivro {

class CLauncherManager : public I_Manager {
 public:
  CLauncherManager();
  ~CLauncherManager() override;
  CLauncherManager(const CLauncherManager&) = delete;
  CLauncherManager& operator=(const CLauncherManager&) = delete;

  // ---- I_Manager ----
  void SetPatchInfo(I_PatchInfo* patch_info) override;
  void SetDownloader(I_Download* downloader) override;
  void SetApplier(I_Apply* applier) override;
  void SetDownloadCountCallback(CountFn callback) override;
  void SetApplyCountCallback(CountFn callback) override;
  void SetFileNameCallback(FileTextFn callback) override;
  void SetFilePercentCallback(PercentFn callback) override;
  void SetFileBytesCallback(DownloadProgressFn callback) override;
  void SetApplyTextCallback(FileTextFn callback) override;
  void SetApplyPercentCallback(PercentFn callback) override;
  void SetApplyBytesCallback(ApplyProgressFn callback) override;
  void SetResultCallback(ResultFn callback) override;
  void SetPatchInfoKind(int32_t kind) override;
  void SetDownloaderKind(int32_t kind) override;
  void SetTransferMethod(int32_t method) override;
  void SetServerName(const char* name) override;
  void SetUserName(const char* name) override;
  void SetPassword(const char* password) override;
  void SetPort(int32_t port) override;
  void SetDownloaderOption(int32_t which, const char* value) override;
  int32_t SetSubdirMode(const char* mode) override;
  void SetLocalBase(const char* install_folder) override;
  void SetUrlBase(const char* url_base) override;
  const char* GetVersionText() override;
  int32_t GetMismatchCount() override;
  void GetMismatch(int32_t index, char* path, int32_t* value, char* note) override;
  int32_t CheckUpdate(const char* local_path, const char* url) override;
  int32_t HasDownloads() override;
  void StartUpdate() override;
  void Cancel() override;
  void ResumeUpdate() override;
  int32_t DownloadFile(const char* local_path, const char* url) override;
  int32_t DownloadFileAsync(const char* local_path, const char* url) override;
  int32_t ApplyPackageAsync(const char* source_path, const char* target_path) override;
  void AddVerifyRule(const char* extension, int32_t flags) override;
  void SetParallel(int32_t parallel) override;

  // Stores a phase's state and, when the states call for it, sends the
  // result; runs under the state lock, result callback included.
  void ReportPhase(int32_t phase, int32_t state);
  // The stop flag, read under the cancel lock (what IsStopRequested answers).
  int32_t StopRequested();
  // A phase's current state (under the state lock).
  int32_t GetPhaseState(int32_t phase);

  // Not part of I_Manager: a guard put between the manager and its download
  // engine (signed releases, mirrors; see release_guard.h). Not owned; set
  // on the client's thread before any check. Null: the engine is used as is.
  void SetReleaseGuard(CReleaseGuard* guard);

  // The package progress hook's delivery: apply-bytes and apply-percent.
  void OnPackageSaveProgress(int32_t done, int32_t total);

 private:
  // Role selection: the handed-in role, else the own one (created on first
  // use). Null when the own one cannot be created.
  I_PatchInfo* ObtainPatchInfo();
  I_Download* ObtainDownloader();
  I_Apply* ObtainApplier();
  // Records a missing role in the last-error record; returns the code.
  static int32_t RoleMissing(const char* role);

  // Transfer methods: open / fetch one file / close for the configured method.
  int32_t OpenTransfer(I_Download* downloader);
  int32_t FetchTransfer(I_Download* downloader, const char* local_path, const char* url);
  void CloseTransfer(I_Download* downloader);
  // Canonicalises `url` and fetches it: 0, 1 or an error code.
  int32_t FetchOne(I_Download* downloader, const char* local_path, const char* url);

  void SetStopFlag(int32_t value);
  void DeliverResult(int32_t code);
  // Starts a detached worker; false (last-error written) when it cannot.
  bool StartWorker(std::function<void()> body, const char* name);
  // Starts the workers of an update (StartUpdate step 9, ResumeUpdate);
  // runs under the state lock.
  void StartUpdateWorkers();
  // A worker's last step: leaves the busy bookkeeping and reports its end.
  void EndCheck(int32_t state);
  void EndUpdatePhase(int32_t phase, int32_t state);
  void EndSequential(int32_t result);
  // Forgets totals, indexes and both lists' contents (the apply list only
  // borrows from the download list, so they are always cleared together).
  void ClearWorkLists();

  // The release guard when it is the downloader in use, else null.
  CReleaseGuard* GuardOf(I_Download* downloader);
  // A fetched item whose verdict is still to come (download worker).
  struct HeldItem {
    CBDownloadFileInfo* item = nullptr;
    std::shared_ptr<FileVerdict> verdict;
  };
  bool HandOver(HeldItem* held);

  void CheckWorker();
  void DownloadWorker();
  void ApplyWorker();
  void SequentialWorker();
  void FileDownloadWorker();
  void PackageApplyWorker();

  // Guarded by the cancel lock.
  int32_t stop_flag_ = 0;
  // Configuration: written on the client's thread before workers run.
  int32_t parallel_ = 1;
  int32_t patch_info_kind_ = kPatchInfoVrel;
  int32_t downloader_kind_ = kDownloaderSwarmlet;
  char list_path_[kTextSize] = {};
  char list_url_[kTextSize] = {};
  bool list_text_too_long_ = false;
  int32_t transfer_method_ = kMethodUrl;
  char server_name_[kTextSize] = {};
  char user_name_[kTextSize] = {};
  char password_[kTextSize] = {};
  int32_t port_ = 80;
  // One-shot operations: busy flags taken with compare-exchange.
  std::atomic<int32_t> file_download_busy_{0};
  char file_download_url_[kTextSize] = {};
  char file_download_path_[kTextSize] = {};
  bool file_download_text_too_long_ = false;
  std::atomic<int32_t> package_apply_busy_{0};
  char package_source_path_[kTextSize] = {};
  char package_target_path_[kTextSize] = {};
  bool package_text_too_long_ = false;

  CBDownloadList* download_list_ = nullptr;
  CBApplyList* apply_list_ = nullptr;
  I_Download* external_downloader_ = nullptr;   // guarded by the role lock
  I_PatchInfo* external_patch_info_ = nullptr;  // guarded by the role lock
  I_Apply* external_applier_ = nullptr;         // guarded by the role lock

  platform::CriticalSection cancel_lock_;
  platform::CriticalSection download_list_lock_;
  platform::CriticalSection apply_list_lock_;
  platform::CriticalSection state_lock_;
  platform::CriticalSection role_lock_;

  std::atomic<CountFn> download_count_callback_{nullptr};
  std::atomic<CountFn> apply_count_callback_{nullptr};
  std::atomic<FileTextFn> file_name_callback_{nullptr};
  std::atomic<PercentFn> file_percent_callback_{nullptr};
  std::atomic<DownloadProgressFn> file_bytes_callback_{nullptr};
  std::atomic<FileTextFn> apply_text_callback_{nullptr};
  std::atomic<PercentFn> apply_percent_callback_{nullptr};
  std::atomic<ApplyProgressFn> apply_bytes_callback_{nullptr};
  std::atomic<ResultFn> result_callback_{nullptr};

  // Guarded by the state lock.
  int32_t check_state_ = kStateIdle;
  int32_t download_state_ = kStateIdle;
  int32_t apply_state_ = kStateIdle;
  // Busy bookkeeping (state lock): a check whose result is not yet sent, and
  // update workers that have not yet reported their end.
  bool check_running_ = false;
  int32_t update_workers_running_ = 0;
  // False from a check until the next StartUpdate: a ResumeUpdate then
  // has nothing to resume and starts the update afresh.
  bool update_started_since_check_ = false;

  // Written before the workers start; the download index only by the
  // download (or sequential) worker, the apply index only by the apply worker.
  int32_t download_total_ = 0;
  int32_t apply_total_ = 0;
  int32_t download_index_ = 0;
  int32_t apply_index_ = 0;

  // Own role objects (role lock).
  I_PatchInfo* own_vrel_patch_info_ = nullptr;
  I_PatchInfo* own_pul_patch_info_ = nullptr;
  I_Download* own_net_ = nullptr;
  I_Download* own_swarmlet_ = nullptr;
  I_Apply* own_applier_ = nullptr;
  CReleaseGuard* release_guard_ = nullptr;  // role lock
};

// The one manager of the process, constructed on the first call.
CLauncherManager* GetLauncherManager();
// Waits until none of the manager's worker threads runs any more (they go
// on for a moment after the result callback); false after `timeout_ms`. A
// program that ends once it has its result waits first, so that no worker
// still uses what the program is tearing down.
bool WaitForManagerWorkers(uint32_t timeout_ms);
// The cancel check the manager installs in its roles: 1 when a stop was asked.
int32_t IsStopRequested();
// The package progress hook installed in the own applier: on "saving"
// progress (kind 1, event 4) it feeds the apply-bytes and apply-percent
// callbacks. Always answers true (go on).
bool PackageProgressHook(int32_t kind, int32_t event, const char* ignored, int32_t done,
                         int32_t total);

}  // namespace kivro
