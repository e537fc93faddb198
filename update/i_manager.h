// I_Manager: the update driver as its clients (the launcher window) see it.
// One instance exists in the process (GetLauncherManager in
// update/launcher_manager.h). Every long operation runs on a worker thread
// and ends in exactly one call of the result callback with a code below.
#pragma once
#include <cstdint>

#include "update/result_codes.h"
#include "update/roles.h"

// First argument of ReportPhase.

namespace kivro {

enum UpdatePhase : int32_t {
  kPhaseCheck = 0,
  kPhaseDownload = 1,
  kPhaseApply = 2,
};

enum PhaseState : int32_t {
  kStateIdle = 0,
  kStateRunning = 1,
  kStateDone = 2,
  kStateCanceled = 3,
  kStateFailed = 4,
  kStateTampered = 5,  // apply phase only: the installed files failed verification
};

// Values of SetPatchInfoKind; any other value selects the ".vrl" reader.
enum PatchInfoKind : int32_t {
  kPatchInfoVrel = 0,
  kPatchInfoPul = 1,  // the list-patch reader
};

// Values of SetDownloaderKind; any other value selects the HTTP/FTP engine.
enum DownloaderKind : int32_t {
  kDownloaderNet = 0,
  kDownloaderSwarmlet = 1,  // the peer-to-peer engine
};

typedef void (*CountFn)(int32_t total, int32_t done);  // download and apply counts
typedef void (*ResultFn)(int32_t code);                // one call per finished operation

class I_Manager {
 public:
  virtual void SetPatchInfo(I_PatchInfo* patch_info) = 0;  // not owned; null = own one
  virtual void SetDownloader(I_Download* downloader) = 0;  // not owned; null = own one
  virtual void SetApplier(I_Apply* applier) = 0;           // not owned; null = own one
  virtual void SetDownloadCountCallback(CountFn callback) = 0;
  virtual void SetApplyCountCallback(CountFn callback) = 0;
  virtual void SetFileNameCallback(FileTextFn callback) = 0;
  virtual void SetFilePercentCallback(PercentFn callback) = 0;
  virtual void SetFileBytesCallback(DownloadProgressFn callback) = 0;
  virtual void SetApplyTextCallback(FileTextFn callback) = 0;
  virtual void SetApplyPercentCallback(PercentFn callback) = 0;
  virtual void SetApplyBytesCallback(ApplyProgressFn callback) = 0;
  virtual void SetResultCallback(ResultFn callback) = 0;
  virtual void SetPatchInfoKind(int32_t kind) = 0;     // a PatchInfoKind
  virtual void SetDownloaderKind(int32_t kind) = 0;    // a DownloaderKind
  virtual void SetTransferMethod(int32_t method) = 0;  // a TransferMethod
  virtual void SetServerName(const char* name) = 0;
  virtual void SetUserName(const char* name) = 0;
  virtual void SetPassword(const char* password) = 0;
  virtual void SetPort(int32_t port) = 0;
  virtual void SetDownloaderOption(int32_t which, const char* value) = 0;
  virtual int32_t SetSubdirMode(const char* mode) = 0;
  virtual void SetLocalBase(const char* install_folder) = 0;
  virtual void SetUrlBase(const char* url_base) = 0;
  virtual const char* GetVersionText() = 0;
  virtual int32_t GetMismatchCount() = 0;
  // path and note are 260-byte buffers.
  virtual void GetMismatch(int32_t index, char* path, int32_t* value, char* note) = 0;
  // Non-zero when a check worker was started (its result follows: 1 or 2).
  virtual int32_t CheckUpdate(const char* local_path, const char* url) = 0;
  virtual int32_t HasDownloads() = 0;
  virtual void StartUpdate() = 0;   // result 3, 4, 5 or 6 follows
  virtual void Cancel() = 0;
  virtual void ResumeUpdate() = 0;  // continues after result 4
  // Synchronous, on the caller's thread: 0 done, 1 stopped, else an error code.
  virtual int32_t DownloadFile(const char* local_path, const char* url) = 0;
  // 1 when started (result 10, 11 or 12 follows), 0 when one already runs.
  virtual int32_t DownloadFileAsync(const char* local_path, const char* url) = 0;
  // 1 when started (result 21, 22 or 23 follows), 0 when one already runs.
  virtual int32_t ApplyPackageAsync(const char* source_path, const char* target_path) = 0;
  virtual void AddVerifyRule(const char* extension, int32_t flags) = 0;
  virtual void SetParallel(int32_t parallel) = 0;
  virtual ~I_Manager() = default;
};

}  // namespace kivro
