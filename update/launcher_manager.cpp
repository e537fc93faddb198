// CLauncherManager: construction, configuration, role selection, transfer
// methods, the single-file download, the update check and the turning of
// phase states into results. The update workers are in update_workers.cpp.
#include "update/launcher_manager.h"

#include <cstdio>

#include "platform/debug.h"
#include "platform/error.h"
#include "platform/url.h"
#include "update/last_error.h"
#include "update/lock_guard.h"
#include "update/manager_internal.h"

namespace kivro {

namespace {

constexpr const char* kAgent = "LAUNCHER";

// Settings that would name another server or account when cut are refused
// instead: the field is left empty, so a later connect fails plainly rather
// than reaching a different place.
void CopySetting(char (&field)[kTextSize], const char* text, const char* what) {
  if (CopyText(field, text)) return;
  field[0] = '\0';
  char message[128];
  snprintf(message, sizeof message, "%s LONGER THAN %d CHARACTERS: REFUSED", what,
           static_cast<int>(kTextSize - 1));
  SetLastErrorInfo(kManagerErrorTextTooLong, 0, message);
  platform::DebugPrintf("[manager] %s\n", message);
}

}  // namespace

CLauncherManager::CLauncherManager() {
  download_list_ = new CBDownloadList();
  download_list_->SetLock(&download_list_lock_);
  apply_list_ = new CBApplyList();
  apply_list_->SetLock(&apply_list_lock_);
}

CLauncherManager::~CLauncherManager() {
  download_count_callback_ = nullptr;
  apply_count_callback_ = nullptr;
  file_name_callback_ = nullptr;
  file_percent_callback_ = nullptr;
  file_bytes_callback_ = nullptr;
  apply_text_callback_ = nullptr;
  apply_percent_callback_ = nullptr;
  apply_bytes_callback_ = nullptr;
  result_callback_ = nullptr;
  delete apply_list_;
  apply_list_ = nullptr;
  delete download_list_;
  download_list_ = nullptr;
  // Own roles only; handed-in ones belong to the client. The patch-info
  // interface is deleted through its Release.
  if (own_vrel_patch_info_ != nullptr) own_vrel_patch_info_->Release();
  if (own_pul_patch_info_ != nullptr) own_pul_patch_info_->Release();
  delete own_swarmlet_;
  delete own_net_;
  delete own_applier_;
}

// ---- configuration ----

void CLauncherManager::SetPatchInfo(I_PatchInfo* patch_info) {
  CLock lock(&role_lock_);
  external_patch_info_ = patch_info;
}

void CLauncherManager::SetDownloader(I_Download* downloader) {
  CLock lock(&role_lock_);
  external_downloader_ = downloader;
}

void CLauncherManager::SetApplier(I_Apply* applier) {
  CLock lock(&role_lock_);
  external_applier_ = applier;
}

void CLauncherManager::SetDownloadCountCallback(CountFn callback) {
  download_count_callback_ = callback;
}
void CLauncherManager::SetApplyCountCallback(CountFn callback) { apply_count_callback_ = callback; }
void CLauncherManager::SetFileNameCallback(FileTextFn callback) { file_name_callback_ = callback; }
void CLauncherManager::SetFilePercentCallback(PercentFn callback) {
  file_percent_callback_ = callback;
}
void CLauncherManager::SetFileBytesCallback(DownloadProgressFn callback) {
  file_bytes_callback_ = callback;
}
void CLauncherManager::SetApplyTextCallback(FileTextFn callback) { apply_text_callback_ = callback; }
void CLauncherManager::SetApplyPercentCallback(PercentFn callback) {
  apply_percent_callback_ = callback;
}
void CLauncherManager::SetApplyBytesCallback(ApplyProgressFn callback) {
  apply_bytes_callback_ = callback;
}
void CLauncherManager::SetResultCallback(ResultFn callback) { result_callback_ = callback; }

void CLauncherManager::SetPatchInfoKind(int32_t kind) {
  CLock lock(&role_lock_);
  patch_info_kind_ = kind;
}

void CLauncherManager::SetDownloaderKind(int32_t kind) {
  CLock lock(&role_lock_);
  downloader_kind_ = kind;
}

void CLauncherManager::SetTransferMethod(int32_t method) { transfer_method_ = method; }
void CLauncherManager::SetServerName(const char* name) {
  CopySetting(server_name_, name, "SERVER NAME");
}
void CLauncherManager::SetUserName(const char* name) { CopySetting(user_name_, name, "USER NAME"); }
void CLauncherManager::SetPassword(const char* password) {
  CopySetting(password_, password, "PASSWORD");
}
void CLauncherManager::SetPort(int32_t port) { port_ = port; }
void CLauncherManager::SetParallel(int32_t parallel) { parallel_ = parallel; }

// ---- forwarding to the roles ----
// A missing role is recorded in the last-error record; getters then answer
// empty values.

void CLauncherManager::SetDownloaderOption(int32_t which, const char* value) {
  I_Download* downloader = ObtainDownloader();
  if (downloader == nullptr) {
    RoleMissing("DOWNLOAD ENGINE");
    return;
  }
  downloader->SetOption(which, value);
}

int32_t CLauncherManager::SetSubdirMode(const char* mode) {
  I_PatchInfo* info = ObtainPatchInfo();
  if (info == nullptr) return RoleMissing("PATCH INFO");
  return info->SetSubdirMode(mode);
}

void CLauncherManager::SetLocalBase(const char* install_folder) {
  I_PatchInfo* info = ObtainPatchInfo();
  if (info == nullptr) {
    RoleMissing("PATCH INFO");
    return;
  }
  info->SetLocalBase(install_folder);
}

void CLauncherManager::SetUrlBase(const char* url_base) {
  I_PatchInfo* info = ObtainPatchInfo();
  if (info == nullptr) {
    RoleMissing("PATCH INFO");
    return;
  }
  info->SetUrlBase(url_base);
}

const char* CLauncherManager::GetVersionText() {
  I_PatchInfo* info = ObtainPatchInfo();
  if (info == nullptr) {
    RoleMissing("PATCH INFO");
    return "";
  }
  return info->GetVersionText();
}

int32_t CLauncherManager::GetMismatchCount() {
  I_PatchInfo* info = ObtainPatchInfo();
  if (info == nullptr) {
    RoleMissing("PATCH INFO");
    return 0;
  }
  return info->GetMismatchCount();
}

void CLauncherManager::GetMismatch(int32_t index, char* path, int32_t* value, char* note) {
  I_PatchInfo* info = ObtainPatchInfo();
  if (info == nullptr) {
    RoleMissing("PATCH INFO");
    if (path != nullptr) path[0] = '\0';
    if (value != nullptr) *value = 0;
    if (note != nullptr) note[0] = '\0';
    return;
  }
  info->GetMismatch(index, path, value, note);
}

void CLauncherManager::AddVerifyRule(const char* extension, int32_t flags) {
  I_PatchInfo* info = ObtainPatchInfo();
  if (info == nullptr) {
    RoleMissing("PATCH INFO");
    return;
  }
  info->AddVerifyRule(extension, flags);
}

// ---- role selection ----

I_PatchInfo* CLauncherManager::ObtainPatchInfo() {
  CLock lock(&role_lock_);
  if (external_patch_info_ != nullptr) return external_patch_info_;
  const RoleFactory& roles = manager_internal::OwnRoles();
  if (patch_info_kind_ == kPatchInfoPul) {
    if (own_pul_patch_info_ == nullptr) own_pul_patch_info_ = roles.pul_patch_info();
    return own_pul_patch_info_;
  }
  if (own_vrel_patch_info_ == nullptr) own_vrel_patch_info_ = roles.vrel_patch_info();
  return own_vrel_patch_info_;
}

I_Download* CLauncherManager::ObtainDownloader() {
  CLock lock(&role_lock_);
  I_Download* engine = external_downloader_;
  if (engine == nullptr) {
    const RoleFactory& roles = manager_internal::OwnRoles();
    if (downloader_kind_ == kDownloaderSwarmlet) {
      if (own_swarmlet_ == nullptr) own_swarmlet_ = roles.swarmlet();
      engine = own_swarmlet_;
    } else {
      if (own_net_ == nullptr) own_net_ = roles.net();
      engine = own_net_;
    }
  }
  // The guard stands in for the engine it wraps.
  if (engine != nullptr && release_guard_ != nullptr) {
    release_guard_->SetInner(engine);
    return release_guard_;
  }
  return engine;
}

CReleaseGuard* CLauncherManager::GuardOf(I_Download* downloader) {
  CLock lock(&role_lock_);
  return downloader != nullptr && downloader == release_guard_ ? release_guard_ : nullptr;
}

void CLauncherManager::SetReleaseGuard(CReleaseGuard* guard) {
  CLock lock(&role_lock_);
  release_guard_ = guard;
}

I_Apply* CLauncherManager::ObtainApplier() {
  CLock lock(&role_lock_);
  if (external_applier_ != nullptr) return external_applier_;
  if (own_applier_ == nullptr) own_applier_ = manager_internal::OwnRoles().applier();
  return own_applier_;
}

// A role that cannot be created fails the operation that needed it (check:
// result 2, update: result 5, DownloadFile: this code), never a crash.
int32_t CLauncherManager::RoleMissing(const char* role) {
  char message[128];
  snprintf(message, sizeof message, "%s COULD NOT BE CREATED", role);
  SetLastErrorInfo(kManagerErrorNoRole, 0, message);
  platform::DebugPrintf("[manager] %s\n", message);
  return kManagerErrorNoRole;
}

// ---- transfer methods ----

int32_t CLauncherManager::OpenTransfer(I_Download* downloader) {
  switch (transfer_method_) {
    case kMethodUrl: return downloader->OpenUrlSession(kAgent);
    case kMethodFtp: return downloader->ConnectFtp(kAgent, server_name_, user_name_, password_, port_);
    case kMethodHttp: return downloader->ConnectHttp(kAgent, server_name_, user_name_, password_, port_);
    case kMethodFtpResume:
      return downloader->ConnectFtpResume(kAgent, server_name_, user_name_, password_, port_);
    default: return kManagerErrorBadMethod;
  }
}

int32_t CLauncherManager::FetchTransfer(I_Download* downloader, const char* local_path,
                                        const char* url) {
  switch (transfer_method_) {
    case kMethodUrl: return downloader->DownloadUrl(local_path, url, 0);
    case kMethodFtp: return downloader->DownloadFtp(local_path, url, 0);
    case kMethodHttp: return downloader->DownloadHttp(local_path, url, 0);
    case kMethodFtpResume: return downloader->DownloadFtpResume(local_path, url, 0);
    default: return kManagerErrorBadMethod;
  }
}

void CLauncherManager::CloseTransfer(I_Download* downloader) {
  switch (transfer_method_) {
    case kMethodUrl: downloader->CloseUrlSession(); break;
    case kMethodFtp: downloader->CloseFtp(); break;
    case kMethodHttp: downloader->CloseHttp(); break;
    case kMethodFtpResume: downloader->CloseFtpResume(); break;
    default: break;
  }
}

// The canonical URL is what the engine receives. One that does not fit the
// 260-byte buffer is not cut (a cut URL names another file): the fetch
// fails with kManagerErrorTextTooLong. A local path over 259 characters is
// refused the same way.
int32_t CLauncherManager::FetchOne(I_Download* downloader, const char* local_path,
                                   const char* url) {
  char message[kTextSize + 64];
  if (!TextFits(local_path, kTextSize)) {
    snprintf(message, sizeof message, "LOCAL PATH LONGER THAN %d CHARACTERS: [%.200s...]",
             static_cast<int>(kTextSize - 1), local_path);
    SetLastErrorInfo(kManagerErrorTextTooLong, 0, message);
    return kManagerErrorTextTooLong;
  }
  char canonical[kTextSize];
  if (!platform::CanonicalizeUrl(url != nullptr ? url : "", canonical, sizeof canonical)) {
    int32_t system_error = platform::GetLastSystemError();
    bool too_long = system_error == platform::kErrorInsufficientBuffer;
    snprintf(message, sizeof message, "%s: [%.200s]",
             too_long ? "CANONICAL URL LONGER THAN 259 CHARACTERS" : "URL CANNOT BE CANONICALIZED",
             url != nullptr ? url : "");
    int32_t code = too_long ? kManagerErrorTextTooLong : kManagerErrorBadUrl;
    SetLastErrorInfo(code, system_error, message);
    return code;
  }
  return FetchTransfer(downloader, local_path, canonical);
}

int32_t CLauncherManager::DownloadFile(const char* local_path, const char* url) {
  I_Download* downloader = ObtainDownloader();
  if (downloader == nullptr) return RoleMissing("DOWNLOAD ENGINE");
  if (transfer_method_ < kMethodUrl || transfer_method_ > kMethodFtpResume) return kManagerErrorBadMethod;
  int32_t open = OpenTransfer(downloader);
  if (open != 0) return open;  // a failed open is not closed
  int32_t result = FetchOne(downloader, local_path, url);
  CloseTransfer(downloader);
  return result;
}

// ---- stop flag, states and results ----

void CLauncherManager::SetStopFlag(int32_t value) {
  CLock lock(&cancel_lock_);
  stop_flag_ = value;
}

int32_t CLauncherManager::StopRequested() {
  CLock lock(&cancel_lock_);
  return stop_flag_;
}

void CLauncherManager::Cancel() { SetStopFlag(1); }

int32_t CLauncherManager::GetPhaseState(int32_t phase) {
  CLock lock(&state_lock_);
  switch (phase) {
    case kPhaseCheck: return check_state_;
    case kPhaseDownload: return download_state_;
    case kPhaseApply: return apply_state_;
    default: return kStateIdle;
  }
}

// The callback is read at the moment of delivery, so a client that cleared
// it (it is going away) gets nothing.
void CLauncherManager::DeliverResult(int32_t code) {
  ResultFn callback = result_callback_.load();
  if (callback != nullptr) callback(code);
}

void CLauncherManager::ReportPhase(int32_t phase, int32_t state) {
  CLock lock(&state_lock_);
  if (phase == kPhaseCheck) {
    check_state_ = state;
    if (state == kStateDone) DeliverResult(RESULT_CHECK_DONE);
    if (state == kStateFailed) DeliverResult(RESULT_CHECK_FAILED);
    return;
  }
  if (phase == kPhaseDownload) {
    download_state_ = state;
  } else if (phase == kPhaseApply) {
    apply_state_ = state;
  } else {
    return;
  }
  // A failed phase stops the other worker (state lock, then cancel lock).
  if (state == kStateFailed) SetStopFlag(1);

  int32_t d = download_state_;
  int32_t a = apply_state_;
  if (d == kStateIdle || d == kStateRunning || a == kStateIdle || a == kStateRunning) return;
  if (d == kStateDone && a == kStateDone) {
    DeliverResult(RESULT_UPDATE_DONE);
  } else if (d == kStateFailed || a == kStateFailed) {
    DeliverResult(RESULT_UPDATE_FAILED);
  } else if (d == kStateCanceled || a == kStateCanceled) {
    DeliverResult(RESULT_UPDATE_CANCELED);
  } else if (a == kStateTampered) {
    DeliverResult(RESULT_FILES_TAMPERED);
  }
}

// ---- workers: starting and ending ----

// A worker thread that cannot be started fails its operation like a role
// failure: last-error kManagerErrorNoThread, and the caller reports the
// failure result at once on its own thread.
bool CLauncherManager::StartWorker(std::function<void()> body, const char* name) {
  if (manager_internal::StartCountedThread(std::move(body))) return true;
  char message[128];
  snprintf(message, sizeof message, "CANNOT START %s WORKER", name);
  SetLastErrorInfo(kManagerErrorNoThread, platform::GetLastSystemError(), message);
  platform::DebugPrintf("[manager] %s\n", message);
  return false;
}

void CLauncherManager::EndCheck(int32_t state) {
  CLock lock(&state_lock_);
  // No longer busy before the result goes out, so the client may start the
  // update (or another check) from inside its result callback.
  check_running_ = false;
  ReportPhase(kPhaseCheck, state);
}

void CLauncherManager::ClearWorkLists() {
  // Apply-list entries point into the download items: never leave them
  // behind when the items go.
  apply_list_->Reset();
  download_list_->Reset();
  download_total_ = 0;
  apply_total_ = 0;
  download_index_ = 0;
  apply_index_ = 0;
  update_started_since_check_ = false;
}

int32_t CLauncherManager::HasDownloads() { return download_list_->GetCount() > 0 ? 1 : 0; }

// ---- the update check ----

// A check is refused (returns 0, no result) while an earlier check has not
// yet sent its result or update workers still run: it would clear the
// lists under their feet.
int32_t CLauncherManager::CheckUpdate(const char* local_path, const char* url) {
  CLock state(&state_lock_);
  if (check_running_ || update_workers_running_ != 0) {
    platform::DebugPrintf("[manager] CheckUpdate refused: a check or an update is running\n");
    return 0;
  }
  check_running_ = true;

  I_PatchInfo* info = ObtainPatchInfo();
  I_Download* downloader = ObtainDownloader();
  SetStopFlag(0);
  check_state_ = kStateIdle;
  // Paths and URLs are not cut (that would name another file): the check
  // worker fails with kManagerErrorTextTooLong instead.
  list_text_too_long_ = !CopyText(list_path_, local_path);
  list_text_too_long_ = !CopyText(list_url_, url) || list_text_too_long_;
  ClearWorkLists();
  if (info != nullptr) info->SetDownloadList(download_list_);
  if (release_guard_ != nullptr) release_guard_->BeginCheck(list_path_, list_url_, transfer_method_);
  if (downloader != nullptr) {
    // The check runs without cancel check and without progress.
    downloader->SetCancelCheck(nullptr);
    downloader->SetProgressCallback(nullptr);
    downloader->SetPercentCallback(nullptr);
  }
  if (!StartWorker([this] { CheckWorker(); }, "CHECK")) {
    EndCheck(kStateFailed);
    return 0;
  }
  return 1;
}

void CLauncherManager::CheckWorker() {
  int32_t r;
  I_PatchInfo* info = ObtainPatchInfo();
  if (list_text_too_long_) {
    SetLastErrorInfo(kManagerErrorTextTooLong, 0,
                     "PATCH LIST PATH OR URL LONGER THAN 259 CHARACTERS");
    r = kManagerErrorTextTooLong;
  } else if (info == nullptr) {
    r = RoleMissing("PATCH INFO");
  } else {
    // Through the guard: a signed release's list is read only once its
    // manifest and the list itself have passed, all from one host.
    auto download = [this](const char* path, const char* url) { return DownloadFile(path, url); };
    r = release_guard_ != nullptr ? release_guard_->FetchList(download) : download(list_path_, list_url_);
    if (r == 0) r = info->ReadList(list_path_);
    if (r == 0) r = info->BuildDownloadList();
  }
  EndCheck(r == 0 ? kStateDone : kStateFailed);
}

}  // namespace kivro
