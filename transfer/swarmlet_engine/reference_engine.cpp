// The reference peer-to-peer engine "Swarmlet.dll": the least engine that
// makes the peer path work end to end. Each download reads the meta file
// (swarmlet_meta.h) at the URL it is given, then fetches the file over HTTP
// from the sources the meta file names, in order, on a thread of its own,
// into "<directory>\<name>.part" (continued with a Range request when a
// previous attempt left one) and renames it to "<directory>\<name>" when
// complete. No peers yet: a swarm engine can replace this one behind the
// same exports.
//
// The folder it is given is trusted as it stands; the part file and the
// target are opened and renamed below it through platform/file_inside.h, so
// a link planted at either name is never followed: the download fails with
// kSwarmletErrorWriteFailed and the link's target is left as it was.
//
// Error codes given to the error callback: SwarmletEngineError.
//
// Thread safety: every export may be called from any thread; the table of
// downloads is guarded, each download's counters are atomics, and Stop waits
// for the download's thread, after which no callback for it comes.
#include <atomic>
#include <cstdio>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "platform/codepage.h"
#include "platform/file.h"
#include "platform/file_inside.h"
#include "platform/internet.h"
#include "platform/thread.h"
#include "transfer/swarmlet_api.h"
#include "transfer/swarmlet_engine/download_table.h"
#include "transfer/swarmlet_engine/engine_exports.h"
#include "transfer/swarmlet_engine/http_sources.h"
#include "transfer/swarmlet_meta.h"

namespace kivro {

namespace {

constexpr uint32_t kReceiveTimeoutMs = 10000;

struct Download {
  uint32_t handle = 0;
  SwarmletCallback on_complete = nullptr;
  SwarmletCallback on_error = nullptr;
  std::thread worker;
  std::atomic<bool> stop{false};
  std::atomic<uint32_t> state{kSwarmletStateIdle};
  std::atomic<uint32_t> total{0};
  std::atomic<uint32_t> downloaded{0};
  std::atomic<uint32_t> rate{0};
  std::atomic<uint32_t> sources{0};
};

std::mutex g_mutex;  // g_init_thread
DownloadTable<Download> g_downloads;
std::thread g_init_thread;

void StopDownload(const std::shared_ptr<Download>& d);

// A program may end without ModuleUninit (its adapter lives until the
// process ends): the engine's threads are then ended when the library is.
struct EngineThreadsEnd {
  ~EngineThreadsEnd() {
    for (auto& d : g_downloads.TakeAll()) StopDownload(d);
    if (g_init_thread.joinable()) g_init_thread.join();
  }
} g_threads_end;
std::atomic<int32_t> g_download_limit{-1};  // bytes per second, -1 none
std::atomic<int32_t> g_upload_limit{-1};

std::shared_ptr<Download> Find(uint32_t handle) { return g_downloads.Find(handle); }

void StopDownload(const std::shared_ptr<Download>& d) {
  d->stop = true;
  if (d->worker.joinable() && d->worker.get_id() != std::this_thread::get_id()) d->worker.join();
}

void Run(std::shared_ptr<Download> d, std::string meta_url, std::string directory) {
  auto fail = [&](uint32_t code) {
    d->state = kSwarmletStateFailed;
    if (!d->stop && d->on_error != nullptr) d->on_error(d->handle, code);
  };
  platform::InternetSession session("Swarmlet");
  session.SetReceiveTimeout(kReceiveTimeoutMs);
  std::string text;
  if (!FetchSmall(&session, meta_url, kSwarmletMetaMaxBytes, &text)) return fail(kSwarmletErrorMetaUnreachable);
  SwarmletMeta meta;
  if (!ReadSwarmletMeta(text.data(), text.size(), &meta, nullptr) ||
      !IsRequestedName(meta.name, meta_url))
    return fail(kSwarmletErrorMetaInvalid);
  d->total = static_cast<uint32_t>(meta.size);
  d->sources = static_cast<uint32_t>(meta.sources.size());

  HttpFetchState state{&d->stop, &d->downloaded, &d->rate, &g_download_limit};
  uint32_t code = FetchFromSources(&session, meta, directory, state);
  if (code == kHttpFetchStopped) return;
  if (code != 0) return fail(code);
  d->state = kSwarmletStateDone;
  if (!d->stop && d->on_complete != nullptr) d->on_complete(d->handle, 0);
}

}  // namespace

SWARMLET_EXPORT int32_t ModuleInit(SwarmletCallback on_init, int32_t) {
  std::lock_guard<std::mutex> lock(g_mutex);
  if (g_init_thread.joinable()) g_init_thread.join();
  // The answer comes from a thread of the engine, as a real engine's would.
  g_init_thread = std::thread([on_init] {
    if (on_init != nullptr) on_init(0, 0);
  });
  return 0;
}

SWARMLET_EXPORT int32_t ModuleUninit() {
  for (auto& d : g_downloads.TakeAll()) StopDownload(d);
  std::lock_guard<std::mutex> lock(g_mutex);
  if (g_init_thread.joinable()) g_init_thread.join();
  return 0;
}

SWARMLET_EXPORT int32_t SetUploadRateLimit(int32_t limit) {
  g_upload_limit = limit;  // nothing is uploaded yet
  return 0;
}
SWARMLET_EXPORT int32_t GetUploadRateLimit() { return g_upload_limit; }
SWARMLET_EXPORT int32_t SetDownloadRateLimit(int32_t limit) {
  g_download_limit = limit;
  return 0;
}
SWARMLET_EXPORT int32_t GetDownloadRateLimit() { return g_download_limit; }

SWARMLET_EXPORT uint32_t CreateSingleSwarmlet() { return g_downloads.Add()->handle; }

SWARMLET_EXPORT int32_t DestroySingleSwarmlet(uint32_t handle) {
  std::shared_ptr<Download> d = g_downloads.Take(handle);
  if (!d) return -1;
  StopDownload(d);
  return 0;
}

SWARMLET_EXPORT int32_t StartDownload(uint32_t handle, const char* meta_url, const char*,
                                      const char*, const char* directory, int32_t, int32_t) {
  std::shared_ptr<Download> d = Find(handle);
  if (!d || d->worker.joinable()) return -1;
  d->state = kSwarmletStateRunning;
  if (meta_url == nullptr || directory == nullptr || *meta_url == '\0' || *directory == '\0') {
    d->worker = std::thread([d] {
      d->state = kSwarmletStateFailed;
      if (d->on_error != nullptr) d->on_error(d->handle, kSwarmletErrorBadArguments);
    });
    return 0;
  }
  d->worker = std::thread(Run, d, std::string(meta_url), std::string(directory));
  return 0;
}

SWARMLET_EXPORT int32_t Stop(uint32_t handle) {
  std::shared_ptr<Download> d = Find(handle);
  if (!d) return -1;
  StopDownload(d);
  return 0;
}

SWARMLET_EXPORT int32_t GetTotalDownloadStatus(uint32_t handle, uint32_t* state, uint32_t* total,
                                               uint32_t* downloaded, uint32_t* download_rate,
                                               uint32_t* upload_rate, uint32_t* peers,
                                               uint32_t* sources) {
  std::shared_ptr<Download> d = Find(handle);
  if (!d) return -1;
  if (state) *state = d->state;
  if (total) *total = d->total;
  if (downloaded) *downloaded = d->downloaded;
  if (download_rate) *download_rate = d->rate;
  if (upload_rate) *upload_rate = 0;
  if (peers) *peers = 0;
  if (sources) *sources = d->sources;
  return 0;
}

SWARMLET_EXPORT int32_t SetOnDownloadComplete(uint32_t handle, SwarmletCallback callback) {
  std::shared_ptr<Download> d = Find(handle);
  if (!d || d->worker.joinable()) return -1;  // set before the start, as the adapter does
  d->on_complete = callback;
  return 0;
}

SWARMLET_EXPORT int32_t SetOnError(uint32_t handle, SwarmletCallback callback) {
  std::shared_ptr<Download> d = Find(handle);
  if (!d || d->worker.joinable()) return -1;
  d->on_error = callback;
  return 0;
}

SWARMLET_EXPORT int32_t SetOnWarning(uint32_t, SwarmletCallback) { return 0; }  // no warnings yet

}  // namespace kivro
