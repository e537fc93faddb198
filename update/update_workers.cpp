// The threads that carry out an update once the check has filled the
// download list: the parallel download and apply workers, the sequential
// worker, and the two one-shot workers (one download, one apply record).
#include <cstdio>
#include <thread>

#include "patch/vrel_apply_info.h"
#include "platform/debug.h"
#include "platform/thread.h"
#include "update/last_error.h"
#include "update/launcher_manager.h"
#include "update/lock_guard.h"
#include "update/manager_internal.h"

namespace kivro {

namespace {

constexpr uint32_t kApplyPollMs = 100;

int32_t MissingItem(int32_t index, const char* what) {
  char message[96];
  snprintf(message, sizeof message, "DOWNLOAD ITEM %d %s", static_cast<int>(index), what);
  SetLastErrorInfo(kManagerErrorBadItem, 0, message);
  return kManagerErrorBadItem;
}

// Whether an item can be handled at all: present, of a known kind, and with
// an apply record (a null record would read as "nothing queued yet" on the
// apply side and the item would be skipped silently).
int32_t CheckItem(CBDownloadFileInfo* item, int32_t index) {
  if (item == nullptr) return MissingItem(index, "MISSING");
  if (item->kind != kTransferFetch && item->kind != kTransferApplyOnly) return MissingItem(index, "OF UNKNOWN KIND");
  if (item->apply_record == nullptr) return MissingItem(index, "WITHOUT APPLY RECORD");
  return 0;
}

int32_t StateOf(int32_t result) {
  if (result == kRoleDone) return kStateDone;
  return result == kRoleStopped ? kStateCanceled : kStateFailed;
}

}  // namespace

// ---- starting an update ----

// StartUpdate and ResumeUpdate are refused (nothing happens, no result)
// while the workers of an earlier update have not all reported, or a check
// has not yet sent its result. The launcher's StartUpdate from inside the
// check's result callback is not refused: the check stops counting as
// running before its result goes out.
void CLauncherManager::StartUpdate() {
  CLock state(&state_lock_);
  if (check_running_ || update_workers_running_ != 0) {
    platform::DebugPrintf("[manager] StartUpdate refused: a check or an update is running\n");
    return;
  }
  I_Download* downloader = ObtainDownloader();
  I_Apply* applier = ObtainApplier();
  I_PatchInfo* info = ObtainPatchInfo();
  SetStopFlag(0);
  ReportPhase(kPhaseDownload, kStateIdle);
  ReportPhase(kPhaseApply, kStateIdle);
  download_total_ = info != nullptr ? info->GetItemCount() : 0;
  apply_total_ = info != nullptr ? info->GetItemTotal() : 0;
  download_index_ = 0;
  apply_index_ = 0;
  apply_list_->Reset();
  update_started_since_check_ = true;

  // Missing roles are not wired; the worker that needs one fails its phase.
  if (downloader != nullptr) {
    downloader->SetCancelCheck(IsStopRequested);
    downloader->SetProgressCallback(file_bytes_callback_.load());
    downloader->SetPercentCallback(file_percent_callback_.load());
  }
  if (applier != nullptr) {
    applier->SetCancelCallback(IsStopRequested);
    applier->SetProgressCallback(apply_bytes_callback_.load());
    applier->SetPercentCallback(apply_percent_callback_.load());
    applier->SetFileCallback(apply_text_callback_.load());
  }
  {
    CLock roles(&role_lock_);
    const RoleFactory& own = manager_internal::OwnRoles();
    if (own_vrel_patch_info_ != nullptr && own_applier_ != nullptr) {
      std::string folder = own.package_work_folder(own_vrel_patch_info_);
      own.set_work_folder(own_applier_, folder.c_str());
    }
    if (own_applier_ != nullptr) own.set_package_hook(own_applier_, PackageProgressHook);
  }
  StartUpdateWorkers();
}

// Continues after a cancel with the first item not yet handled. After a
// check (whose new list left nothing to continue) it is a StartUpdate.
void CLauncherManager::ResumeUpdate() {
  CLock state(&state_lock_);
  if (check_running_ || update_workers_running_ != 0) {
    platform::DebugPrintf("[manager] ResumeUpdate refused: a check or an update is running\n");
    return;
  }
  if (!update_started_since_check_) {
    StartUpdate();
    return;
  }
  SetStopFlag(0);
  ReportPhase(kPhaseDownload, kStateIdle);
  ReportPhase(kPhaseApply, kStateIdle);
  StartUpdateWorkers();
}

// Runs under the state lock, so the workers' first reports wait until all
// of them are accounted for. A worker that cannot be started ends its phase
// as failed at once (and, in parallel mode, the apply phase is not started
// without its download worker), so exactly one result still follows.
void CLauncherManager::StartUpdateWorkers() {
  CLock state(&state_lock_);
  if (parallel_ == 0) {
    update_workers_running_ = 1;
    if (!StartWorker([this] { SequentialWorker(); }, "SEQUENTIAL")) {
      EndSequential(RESULT_UPDATE_FAILED);
    }
    return;
  }
  update_workers_running_ = 2;
  if (!StartWorker([this] { DownloadWorker(); }, "DOWNLOAD")) {
    EndUpdatePhase(kPhaseDownload, kStateFailed);
    EndUpdatePhase(kPhaseApply, kStateCanceled);
    return;
  }
  if (!StartWorker([this] { ApplyWorker(); }, "APPLY")) {
    EndUpdatePhase(kPhaseApply, kStateFailed);  // stops the download worker
  }
}

void CLauncherManager::EndUpdatePhase(int32_t phase, int32_t state) {
  CLock lock(&state_lock_);
  // No longer counted before the result can go out, so a ResumeUpdate from
  // inside the result callback is accepted.
  if (update_workers_running_ > 0) --update_workers_running_;
  ReportPhase(phase, state);
}

// The sequential worker's result goes out under the state lock too, so it
// never overlaps a result of another operation's report.
void CLauncherManager::EndSequential(int32_t result) {
  CLock lock(&state_lock_);
  if (update_workers_running_ > 0) --update_workers_running_;
  DeliverResult(result);
}

// ---- parallel mode ----

void CLauncherManager::DownloadWorker() {
  int32_t state = kStateDone;
  I_Download* downloader = ObtainDownloader();
  ReportPhase(kPhaseDownload, kStateRunning);
  if (downloader == nullptr) {
    RoleMissing("DOWNLOAD ENGINE");
    EndUpdatePhase(kPhaseDownload, kStateFailed);
    return;
  }
  if (transfer_method_ < kMethodUrl || transfer_method_ > kMethodFtpResume || OpenTransfer(downloader) != 0) {
    EndUpdatePhase(kPhaseDownload, kStateFailed);  // a failed open is not closed
    return;
  }
  // A signed file's verdict may follow its bytes (see CReleaseGuard): the
  // item is then held while the next one is fetched, and handed to the
  // apply list only once its verdict is in. The applier never sees a file
  // that was not checked, the index still passes only handed-over items,
  // and the hash of one file overlaps the download of the next.
  CReleaseGuard* guard = GuardOf(downloader);
  if (guard != nullptr) guard->DeferVerdicts(true);
  HeldItem held;
  std::shared_ptr<FileVerdict> fresh;
  int32_t next = download_index_;
  while (next < download_total_) {
    CBDownloadFileInfo* item = download_list_->GetAt(next);
    if (CheckItem(item, next) != 0) {
      state = kStateFailed;
      break;
    }
    if (item->kind == kTransferFetch) {
      FileTextFn on_file = file_name_callback_.load();
      if (on_file != nullptr) on_file(item->local_path);
      int32_t r = FetchOne(downloader, item->local_path, item->url);
      if (r != 0) {
        // The index stays: a ResumeUpdate fetches this item again.
        state = StateOf(r);
        break;
      }
      if (guard != nullptr) fresh = guard->TakeDeferredVerdict();
    }
    // The held item goes first: the apply list keeps the download order.
    if (!HandOver(&held)) {
      state = kStateFailed;
      break;
    }
    if (fresh != nullptr) {
      held = HeldItem{item, std::move(fresh)};
      fresh.reset();
    } else {
      HeldItem now{item, nullptr};
      HandOver(&now);
    }
    ++next;
    if (StopRequested() != 0) {
      state = kStateCanceled;
      break;
    }
  }
  // An item fetched before the loop ended is still handed over; one that
  // fails its check fails the phase, whatever else ended it, as it would
  // have failed before the next fetch began.
  if (!HandOver(&held)) state = kStateFailed;
  // Fetched but not handed over (the item before it failed): its verdict
  // has only to run, deleting the file if it does not match.
  if (fresh != nullptr) fresh->Wait();
  if (guard != nullptr) guard->DeferVerdicts(false);
  CloseTransfer(downloader);
  EndUpdatePhase(kPhaseDownload, state);
}

// Awaits the held item's verdict and queues its apply record; false (the
// reason in the last-error record) when the file failed it. Nothing held:
// true.
bool CLauncherManager::HandOver(HeldItem* held) {
  if (held->item == nullptr) return true;
  HeldItem item = std::move(*held);
  *held = HeldItem{};
  if (item.verdict != nullptr && item.verdict->Await() != 0) return false;
  apply_list_->Add(item.item->apply_record);
  ++download_index_;
  CountFn on_count = download_count_callback_.load();
  if (on_count != nullptr) on_count(download_total_, download_index_);
  return true;
}

void CLauncherManager::ApplyWorker() {
  int32_t state = kStateDone;
  I_Apply* applier = ObtainApplier();
  // The patch info is needed at the end (Uninstall, Verify): without it
  // nothing is applied at all.
  I_PatchInfo* info = ObtainPatchInfo();
  ReportPhase(kPhaseApply, kStateRunning);
  if (applier == nullptr || info == nullptr) {
    RoleMissing(applier == nullptr ? "APPLIER" : "PATCH INFO");
    EndUpdatePhase(kPhaseApply, kStateFailed);
    return;
  }
  for (;;) {
    CBApplyFileInfo* entry = apply_list_->GetAt(apply_index_);
    if (entry != nullptr) {
      int32_t r = applier->Apply(entry);
      if (r != 0) {
        state = StateOf(r);
        break;
      }
      ++apply_index_;
      CountFn on_count = apply_count_callback_.load();
      if (on_count != nullptr) on_count(apply_total_, apply_index_);
      if (StopRequested() != 0) {
        state = kStateCanceled;
        break;
      }
      continue;
    }
    if (StopRequested() != 0) {
      state = kStateCanceled;
      break;
    }
    int32_t download_state = GetPhaseState(kPhaseDownload);
    if (download_state == kStateRunning) {
      platform::Sleep(kApplyPollMs);
    } else if (download_state == kStateIdle) {
      std::this_thread::yield();  // the download worker has not reported yet
    } else if (download_state == kStateDone) {
      // The last entry may have been queued between the look at the list
      // and the look at the state: look once more before calling it done.
      if (apply_list_->GetAt(apply_index_) != nullptr) continue;
      state = kStateDone;
      break;
    } else {
      state = download_state == kStateCanceled ? kStateCanceled : kStateFailed;
      break;
    }
  }
  int32_t f = applier->Finish();
  if (f != kRoleDone && f != kRoleStopped) {
    state = kStateFailed;
  } else if (state == kStateDone) {
    info->Uninstall();
    if (info->Verify() != 0) state = kStateTampered;
  }
  EndUpdatePhase(kPhaseApply, state);
}

// ---- sequential mode ----

// Download and apply one item after the other; the phase states are not
// touched and the apply-count callback is not called.
void CLauncherManager::SequentialWorker() {
  int32_t b = 0;
  I_Download* downloader = ObtainDownloader();
  I_Apply* applier = ObtainApplier();
  I_PatchInfo* info = ObtainPatchInfo();
  if (downloader == nullptr || applier == nullptr || info == nullptr) {
    RoleMissing(downloader == nullptr ? "DOWNLOAD ENGINE"
                                      : (applier == nullptr ? "APPLIER" : "PATCH INFO"));
    EndSequential(RESULT_UPDATE_FAILED);
    return;
  }
  bool opened = false;
  if (transfer_method_ < kMethodUrl || transfer_method_ > kMethodFtpResume) {
    b = kManagerErrorBadMethod;
  } else {
    b = OpenTransfer(downloader);
    opened = b == 0;
  }
  if (opened) {
    while (download_index_ < download_total_) {
      CBDownloadFileInfo* item = download_list_->GetAt(download_index_);
      b = CheckItem(item, download_index_);
      if (b != 0) break;
      if (item->kind == kTransferFetch) {
        FileTextFn on_file = file_name_callback_.load();
        if (on_file != nullptr) on_file(item->local_path);
        b = FetchOne(downloader, item->local_path, item->url);
        if (b != 0) break;
      }
      if (StopRequested() != 0) {
        b = 1;
        break;
      }
      b = applier->Apply(item->apply_record);
      if (b != 0) break;
      ++download_index_;
      CountFn on_count = download_count_callback_.load();
      if (on_count != nullptr) on_count(download_total_, download_index_);
      if (StopRequested() != 0) {
        b = 1;
        break;
      }
    }
    CloseTransfer(downloader);
  }
  int32_t result = b == kRoleDone ? RESULT_UPDATE_DONE
                          : (b == kRoleStopped ? RESULT_UPDATE_CANCELED : RESULT_UPDATE_FAILED);
  int32_t f = applier->Finish();
  if (f != kRoleDone && f != kRoleStopped) {
    result = RESULT_UPDATE_FAILED;
  } else if (result == RESULT_UPDATE_DONE) {
    info->Uninstall();
    if (info->Verify() != 0) result = RESULT_FILES_TAMPERED;
  }
  EndSequential(result);
}

// ---- one-shot operations ----

int32_t CLauncherManager::DownloadFileAsync(const char* local_path, const char* url) {
  int32_t idle = 0;
  if (!file_download_busy_.compare_exchange_strong(idle, 1)) return 0;
  // Not cut: the worker fails the download (result 12) instead.
  file_download_text_too_long_ = !CopyText(file_download_path_, local_path);
  file_download_text_too_long_ = !CopyText(file_download_url_, url) || file_download_text_too_long_;
  SetStopFlag(0);
  I_Download* downloader = ObtainDownloader();
  if (downloader != nullptr) {
    downloader->SetCancelCheck(IsStopRequested);
    downloader->SetProgressCallback(file_bytes_callback_.load());
    downloader->SetPercentCallback(file_percent_callback_.load());
  }
  if (!StartWorker([this] { FileDownloadWorker(); }, "FILE DOWNLOAD")) {
    file_download_busy_ = 0;
    DeliverResult(RESULT_FILE_FAILED);
    return 0;
  }
  return 1;
}

void CLauncherManager::FileDownloadWorker() {
  int32_t r;
  if (file_download_text_too_long_) {
    SetLastErrorInfo(kManagerErrorTextTooLong, 0, "FILE PATH OR URL LONGER THAN 259 CHARACTERS");
    r = kManagerErrorTextTooLong;
  } else {
    r = DownloadFile(file_download_path_, file_download_url_);
  }
  file_download_busy_ = 0;
  DeliverResult(r == kRoleDone ? RESULT_FILE_DONE : (r == kRoleStopped ? RESULT_FILE_CANCELED : RESULT_FILE_FAILED));
}

int32_t CLauncherManager::ApplyPackageAsync(const char* source_path, const char* target_path) {
  int32_t idle = 0;
  if (!package_apply_busy_.compare_exchange_strong(idle, 1)) return 0;
  package_text_too_long_ = !CopyText(package_source_path_, source_path);
  package_text_too_long_ = !CopyText(package_target_path_, target_path) || package_text_too_long_;
  I_Apply* applier = ObtainApplier();
  if (applier != nullptr) {
    applier->SetProgressCallback(apply_bytes_callback_.load());
    applier->SetPercentCallback(apply_percent_callback_.load());
    applier->SetFileCallback(apply_text_callback_.load());
  }
  if (!StartWorker([this] { PackageApplyWorker(); }, "PACKAGE APPLY")) {
    package_apply_busy_ = 0;
    DeliverResult(RESULT_PACKAGE_FAILED);
    return 0;
  }
  return 1;
}

void CLauncherManager::PackageApplyWorker() {
  I_Apply* applier = ObtainApplier();
  ReportPhase(kPhaseApply, kStateRunning);
  int32_t state;
  int32_t f;
  if (applier == nullptr) {
    f = RoleMissing("APPLIER");
    state = kStateFailed;
  } else if (package_text_too_long_) {
    SetLastErrorInfo(kManagerErrorTextTooLong, 0,
                     "PACKAGE SOURCE OR TARGET PATH LONGER THAN 259 CHARACTERS");
    f = kManagerErrorTextTooLong;
    state = kStateFailed;
  } else {
    CVrelApplyInfo* record = new CVrelApplyInfo();
    record->apply_kind = kApplyUnpackArchive;
    CopyText(record->source_path, package_source_path_);
    CopyText(record->destination_folder, package_target_path_);
    int32_t r = applier->Apply(record);
    if (r == 0) {
      state = StopRequested() != 0 ? kStateCanceled : kStateDone;
    } else {
      state = StateOf(r);
    }
    f = applier->Finish();
    if (f != kRoleDone && f != kRoleStopped) state = kStateFailed;
    delete record;  // the applier has let go of it with Finish
  }
  ReportPhase(kPhaseApply, state);
  package_apply_busy_ = 0;
  DeliverResult(f == kRoleDone ? RESULT_PACKAGE_DONE
                       : (f == kRoleStopped ? RESULT_PACKAGE_CANCELED : RESULT_PACKAGE_FAILED));
}

// ---- package progress ----

void CLauncherManager::OnPackageSaveProgress(int32_t done, int32_t total) {
  ApplyProgressFn on_bytes = apply_bytes_callback_.load();
  if (on_bytes != nullptr) on_bytes(total, done);
  PercentFn on_percent = apply_percent_callback_.load();
  if (on_percent != nullptr) {
    int32_t percent = (total > 0 && done < total)
                          ? static_cast<int32_t>(static_cast<int64_t>(done) * 100 / total)
                          : 100;
    on_percent(percent);
  }
}

}  // namespace kivro
