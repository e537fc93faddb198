#include "transfer/swarmlet.h"

#include <cstdio>
#include <cstring>
#include <map>
#include <mutex>
#include <string>

#include "platform/codepage.h"
#include "platform/debug.h"
#include "platform/dynlib.h"
#include "platform/error.h"
#include "platform/file.h"
#include "platform/file_inside.h"
#include "platform/paths.h"
#include "platform/thread.h"
#include "update/fixed_text.h"
#include "update/last_error.h"

namespace kivro {

namespace {

// Process-wide state shared by all adapters.
std::mutex g_module_mutex;  // adapter count and module start/stop
int g_adapter_count = 0;
// How the engine answered the module start.
enum ModuleState : int32_t {
  kModuleUnanswered = 0,
  kModuleFailed = 1,
  kModuleReady = 2,
};
std::atomic<int32_t> g_module_state{kModuleUnanswered};
std::mutex g_map_mutex;
std::map<uint32_t, CSwarmlet*> g_handles;

std::atomic<uint32_t> g_init_wait_limit_ms{CSwarmlet::kDefaultInitWaitLimitMs};
std::atomic<uint32_t> g_poll_interval_ms{CSwarmlet::kDefaultPollIntervalMs};
std::atomic<void (*)(const char*)> g_trace_sink{nullptr};

constexpr uint32_t kInitPollMs = 100;

// Trace lines are the system's 8-bit texts (code page 949), written in
// UTF-8 here for the reader.
void Trace(const char* utf8) {
  std::string line = platform::Utf8ToCp949(utf8);
  platform::OutputDebugText(line.c_str());
  void (*sink)(const char*) = g_trace_sink.load();
  if (sink != nullptr) sink(line.c_str());
}

void FailLoad() { SetLastErrorInfo(kSwarmletLoadFailed, 0, "SWARMLET DLL LOADING ERROR"); }

}  // namespace

void CSwarmlet::SetInitWaitLimit(uint32_t milliseconds) { g_init_wait_limit_ms = milliseconds; }
void CSwarmlet::SetPollInterval(uint32_t milliseconds) { g_poll_interval_ms = milliseconds; }
void CSwarmlet::SetTraceSink(void (*sink)(const char*)) { g_trace_sink = sink; }

CSwarmlet::CSwarmlet() : library_(std::make_unique<platform::DynamicLibrary>()) {
  // Only the program's own folder: a bare name would let the current
  // directory supply a library.
  std::string path = platform::ProgramDirectory() + "\\" + kSwarmletLibraryName;
  if (!library_->Load(path)) {
    FailLoad();
    return;
  }
  void** slots[14] = {
      reinterpret_cast<void**>(&engine_.module_init),
      reinterpret_cast<void**>(&engine_.module_uninit),
      reinterpret_cast<void**>(&engine_.set_upload_rate_limit),
      reinterpret_cast<void**>(&engine_.get_upload_rate_limit),
      reinterpret_cast<void**>(&engine_.set_download_rate_limit),
      reinterpret_cast<void**>(&engine_.get_download_rate_limit),
      reinterpret_cast<void**>(&engine_.create_single),
      reinterpret_cast<void**>(&engine_.destroy_single),
      reinterpret_cast<void**>(&engine_.start_download),
      reinterpret_cast<void**>(&engine_.stop),
      reinterpret_cast<void**>(&engine_.get_total_download_status),
      reinterpret_cast<void**>(&engine_.set_on_download_complete),
      reinterpret_cast<void**>(&engine_.set_on_error),
      reinterpret_cast<void**>(&engine_.set_on_warning),
  };
  for (int i = 0; i < 14; ++i) {
    void* address = library_->Find(kSwarmletExports[i]);
    if (address == nullptr) {
      // An incomplete engine is no engine: nothing of it is ever called, and
      // open, connect and download answer 21.
      FailLoad();
      return;
    }
    *slots[i] = address;
  }
  entry_points_ok_ = true;

  std::lock_guard<std::mutex> lock(g_module_mutex);
  if (g_adapter_count == 0) {
    Trace("모듈 초기화\n");
    g_module_state = kModuleUnanswered;
    engine_.module_init(&CSwarmlet::OnModuleInit, 0);
    uint32_t waited = 0;
    while (g_module_state.load() == kModuleUnanswered && waited < g_init_wait_limit_ms.load()) {
      platform::Sleep(kInitPollMs);
      waited += kInitPollMs;
    }
    int32_t expected = kModuleUnanswered;
    g_module_state.compare_exchange_strong(expected, kModuleFailed);  // no answer in time: failed
    if (g_module_state.load() == kModuleReady) {
      Trace("모듈 초기화 완료\n");
      engine_.set_download_rate_limit(-1);
      engine_.set_upload_rate_limit(-1);
    }
  }
  ++g_adapter_count;
}

CSwarmlet::~CSwarmlet() {
  if (entry_points_ok_) {
    std::lock_guard<std::mutex> lock(g_module_mutex);
    if (--g_adapter_count == 0) {
      Trace("모듈 없애기\n");
      engine_.module_uninit();
      Trace("모듈 없애기 완료\n");
    }
  }
  library_->Unload();
}

void CSwarmlet::OnModuleInit(uint32_t result, uint32_t) {
  // Only the first answer counts; one after the wait gave up changes nothing.
  int32_t expected = kModuleUnanswered;
  g_module_state.compare_exchange_strong(expected, result == 0 ? kModuleReady : kModuleFailed);
}

void CSwarmlet::OnDownloadComplete(uint32_t handle, uint32_t) {
  std::lock_guard<std::mutex> lock(g_map_mutex);
  auto it = g_handles.find(handle);
  if (it == g_handles.end()) {
    Trace("싱글 Swarmlet 다운로드 오류\n");
    return;
  }
  it->second->running_.store(0, std::memory_order_release);
  Trace("싱글 Swarmlet 다운로드 종료\n");
}

void CSwarmlet::OnError(uint32_t handle, uint32_t code) {
  std::lock_guard<std::mutex> lock(g_map_mutex);
  auto it = g_handles.find(handle);
  if (it == g_handles.end()) {
    Trace("싱글 Swarmlet 에러 처리 오류\n");
    return;
  }
  // The error is in place before running is cleared: the poller reads it
  // after it sees running at 0.
  it->second->engine_error_.store(static_cast<int32_t>(code), std::memory_order_release);
  it->second->running_.store(0, std::memory_order_release);
  char line[128];
  snprintf(line, sizeof(line), "====================싱글 Swarmlet 에러[%d]====================\n",
           static_cast<int32_t>(code));
  Trace(line);
}

void CSwarmlet::SetOption(int32_t which, const char* value) {
  if (which == 0) {
    CopyText(extension_, value != nullptr ? value : "swarmlet");
  } else if (which == 1) {
    CopyText(extra_text_, value);
  }
}

int32_t CSwarmlet::Open() {
  if (!entry_points_ok_) {
    FailLoad();
    return kSwarmletLoadFailed;
  }
  if (g_module_state.load() == kModuleFailed) return kSwarmletInitFailed;
  Trace("Swarmlet 접속\n");
  return 0;
}

int32_t CSwarmlet::OpenUrlSession(const char*) { return Open(); }

int32_t CSwarmlet::ConnectHttp(const char*, const char*, const char*, const char*, int32_t) {
  return Open();
}

void CSwarmlet::CloseUrlSession() { Trace("싱글 Swarmlet 종료\n"); }
void CSwarmlet::CloseHttp() { Trace("싱글 Swarmlet 종료\n"); }

int32_t CSwarmlet::DownloadUrl(const char* local_path, const char* url, int32_t) {
  return EngineDownload(local_path, url);
}

int32_t CSwarmlet::DownloadHttp(const char* local_path, const char* url, int32_t) {
  return EngineDownload(local_path, url);
}

void CSwarmlet::ReportProgress() {
  if (progress_ != nullptr) progress_(total_, received_);
  int32_t percent = ProgressPercent(received_, total_);
  if (percent != last_percent_) {
    last_percent_ = percent;
    if (percent_ != nullptr) percent_(percent);
  }
}

void CSwarmlet::Poll() {
  uint32_t state = 0, total = 0, downloaded = 0, down_rate = 0, up_rate = 0, peers = 0, sources = 0;
  engine_.get_total_download_status(handle_, &state, &total, &downloaded, &down_rate, &up_rate,
                                    &peers, &sources);
  total_ = total;
  received_ = downloaded;
}

int32_t CSwarmlet::EngineDownload(const char* local_path, const char* url) {
  if (!entry_points_ok_) {
    FailLoad();
    return kSwarmletLoadFailed;
  }
  Trace("싱글 Swarmlet 생성\n");
  handle_ = engine_.create_single();
  Trace("싱글 Swarmlet 생성 완료\n");
  if (handle_ == 0) return kSwarmletCreateFailed;
  {
    std::lock_guard<std::mutex> lock(g_map_mutex);
    g_handles[handle_] = this;
  }
  engine_.set_on_download_complete(handle_, &CSwarmlet::OnDownloadComplete);
  engine_.set_on_error(handle_, &CSwarmlet::OnError);
  engine_error_.store(0, std::memory_order_relaxed);

  std::string local = local_path != nullptr ? local_path : "";
  std::string directory = platform::DirectoryPart(local);
  if (!directory.empty()) platform::CreateDirectoryChain(directory);
  std::string meta_url = std::string(url != nullptr ? url : "") + "." + extension_;

  running_.store(1, std::memory_order_release);
  Trace("싱글 Swarmlet 다운로드 시작\n");
  engine_.start_download(handle_, meta_url.c_str(), extra_text_, "", directory.c_str(), 0, 0);

  total_ = 0;
  received_ = 0;
  last_percent_ = 0;
  ReportProgress();

  bool canceled = false;
  while (running_.load(std::memory_order_acquire) != 0) {
    Poll();
    ReportProgress();
    if (cancel_check_ != nullptr && cancel_check_() == 1) {
      canceled = true;
      break;
    }
    platform::Sleep(g_poll_interval_ms.load());
  }
  Poll();
  ReportProgress();

  Trace("싱글 Swarmlet 스탑\n");
  engine_.stop(handle_);
  Trace("싱글 Swarmlet 스탑 완료\n");
  {
    std::lock_guard<std::mutex> lock(g_map_mutex);
    g_handles.erase(handle_);
  }
  Trace("싱글 Swarmlet 해제\n");
  engine_.destroy_single(handle_);
  handle_ = 0;
  Trace("싱글 Swarmlet 해제 완료\n");

  if (canceled) return kSwarmletStopped;  // a cancel outranks an engine error
  int32_t error = engine_error_.load(std::memory_order_acquire);
  if (error != 0) {
    char text[64];
    snprintf(text, sizeof(text), "SWARMLET CORE ERROR[%d]", error);
    SetLastErrorInfo(kSwarmletEngineError, 0, text);
    return kSwarmletEngineError;
  }
  // The engine names its file after the meta file, which comes from the
  // network: a completion counts only when the file asked for is there,
  // as a file of its own (a link at its name is not it: the engine is any
  // library and may have followed one).
  platform::FileInfo info;
  if (!platform::GetFileInfo(local, &info) || (info.attributes & platform::kAttrDirectory) != 0) {
    SetLastErrorInfo(kSwarmletFileMissing, 0, local.c_str());
    return kSwarmletFileMissing;
  }
  if (!platform::NoLinkInside(directory, local)) {
    SetLastErrorInfo(kSwarmletFileMissing, platform::kErrorStoppedOnSymlink, local.c_str());
    return kSwarmletFileMissing;
  }
  return 0;
}

}  // namespace kivro
