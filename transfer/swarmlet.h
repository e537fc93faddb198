// CSwarmlet: the download engine that hands each file to the peer-to-peer
// engine library "Swarmlet.dll", loaded from the program's own folder only
// (never from the current directory or a search path another program
// controls). Serves the URL and HTTP methods (both lead to the same engine
// download); the FTP methods answer 25.
//
// Thread safety: one adapter is driven by one thread at a time. The engine
// calls back on threads of its own: the module state, each adapter's
// running flag and engine error are atomics, and the process-wide handle
// map is guarded by a mutex that the callbacks hold while they touch the
// adapter they found, so an adapter never leaves the map under them.
#pragma once
#include <atomic>
#include <cstdint>
#include <memory>

#include "transfer/swarmlet_api.h"
#include "transfer/transfer_codes.h"
#include "update/roles.h"

namespace platform {
class DynamicLibrary;
}

namespace kivro {

class CSwarmlet : public I_Download {
 public:
  // The engine's answer to ModuleInit is awaited this long (30 s by
  // default); no answer counts as a failed start, so an engine that hangs
  // cannot hang the update.
  static constexpr uint32_t kDefaultInitWaitLimitMs = 30000;
  static constexpr uint32_t kDefaultPollIntervalMs = 1000;

  CSwarmlet();
  ~CSwarmlet() override;
  CSwarmlet(const CSwarmlet&) = delete;
  CSwarmlet& operator=(const CSwarmlet&) = delete;

  void SetOption(int32_t which, const char* value) override;
  void SetCancelCheck(CancelCheckFn check) override { cancel_check_ = check; }
  void SetProgressCallback(DownloadProgressFn callback) override { progress_ = callback; }
  void SetPercentCallback(PercentFn callback) override { percent_ = callback; }
  int32_t OpenUrlSession(const char* agent) override;
  int32_t DownloadUrl(const char* local_path, const char* url, int32_t reserved) override;
  void CloseUrlSession() override;
  int32_t ConnectHttp(const char* agent, const char* server, const char* user,
                      const char* password, int32_t port) override;
  int32_t DownloadHttp(const char* local_path, const char* url, int32_t reserved) override;
  void CloseHttp() override;
  int32_t ConnectFtp(const char*, const char*, const char*, const char*, int32_t) override {
    return kSwarmletFtpUnsupported;
  }
  int32_t DownloadFtp(const char*, const char*, int32_t) override { return kSwarmletFtpUnsupported; }
  void CloseFtp() override {}
  int32_t ConnectFtpResume(const char*, const char*, const char*, const char*, int32_t) override {
    return kSwarmletFtpUnsupported;
  }
  int32_t DownloadFtpResume(const char*, const char*, int32_t) override {
    return kSwarmletFtpUnsupported;
  }
  void CloseFtpResume() override {}
  void Release() override { delete this; }

  // Process-wide settings for tests (the defaults are those above).
  static void SetInitWaitLimit(uint32_t milliseconds);
  static void SetPollInterval(uint32_t milliseconds);
  // Every trace line also goes to `sink` (null: none), for tests.
  static void SetTraceSink(void (*sink)(const char* line));

  bool Loaded() const { return entry_points_ok_; }
  uint32_t Total() const { return total_; }
  uint32_t Received() const { return received_; }

 private:
  struct Engine {
    SwarmletModuleInitFn module_init = nullptr;
    SwarmletModuleUninitFn module_uninit = nullptr;
    SwarmletSetRateLimitFn set_upload_rate_limit = nullptr;
    SwarmletGetRateLimitFn get_upload_rate_limit = nullptr;
    SwarmletSetRateLimitFn set_download_rate_limit = nullptr;
    SwarmletGetRateLimitFn get_download_rate_limit = nullptr;
    SwarmletCreateFn create_single = nullptr;
    SwarmletHandleFn destroy_single = nullptr;
    SwarmletStartDownloadFn start_download = nullptr;
    SwarmletHandleFn stop = nullptr;
    SwarmletStatusFn get_total_download_status = nullptr;
    SwarmletSetCallbackFn set_on_download_complete = nullptr;
    SwarmletSetCallbackFn set_on_error = nullptr;
    SwarmletSetCallbackFn set_on_warning = nullptr;
  };

  int32_t Open();
  int32_t EngineDownload(const char* local_path, const char* url);
  void Poll();
  void ReportProgress();
  static void OnModuleInit(uint32_t result, uint32_t unused);
  static void OnDownloadComplete(uint32_t handle, uint32_t unused);
  static void OnError(uint32_t handle, uint32_t code);

  std::unique_ptr<platform::DynamicLibrary> library_;
  Engine engine_;
  bool entry_points_ok_ = false;
  uint32_t handle_ = 0;
  uint32_t total_ = 0;
  uint32_t received_ = 0;
  int32_t last_percent_ = 0;
  CancelCheckFn cancel_check_ = nullptr;
  DownloadProgressFn progress_ = nullptr;
  PercentFn percent_ = nullptr;
  std::atomic<int32_t> running_{0};
  std::atomic<int32_t> engine_error_{0};
  char extension_[100] = "swarmlet";  // cut at 99 characters
  char extra_text_[100] = "";         // cut at 99 characters
};

}  // namespace kivro
