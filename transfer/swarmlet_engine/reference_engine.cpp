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
#include "transfer/swarmlet_meta.h"

namespace kivro {

namespace {

constexpr uint32_t kChunk = 256 * 1024;
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

// Reads a whole small body (the meta file).
bool FetchSmall(platform::InternetSession* session, const std::string& url, std::string* body) {
  std::unique_ptr<platform::InternetRequest> request = platform::OpenUrl(session, url, "");
  uint32_t status = 0;
  if (!request || !request->QueryStatusCode(&status) || status != 200) return false;
  char buffer[4096];
  body->clear();
  for (;;) {
    uint32_t got = 0;
    if (!request->Read(buffer, sizeof(buffer), &got)) return false;
    if (got == 0) return true;
    body->append(buffer, got);
    if (body->size() > kSwarmletMetaMaxBytes) return false;
  }
}

// The name the caller asked for: the meta URL's last element, percent
// escapes decoded, without the meta file's own extension ("a.zip" of
// ".../a.zip.swarmlet").
std::string RequestedName(const std::string& meta_url) {
  std::string path = meta_url.substr(0, meta_url.find_first_of("?#"));
  std::string last = path.substr(path.rfind('/') + 1);
  std::string name;
  for (size_t i = 0; i < last.size(); ++i) {
    auto hex = [](char c) {
      return c >= '0' && c <= '9' ? c - '0' : (c | 0x20) >= 'a' && (c | 0x20) <= 'f' ? (c | 0x20) - 'a' + 10 : -1;
    };
    if (last[i] == '%' && i + 2 < last.size() && hex(last[i + 1]) >= 0 && hex(last[i + 2]) >= 0) {
      name += static_cast<char>(hex(last[i + 1]) * 16 + hex(last[i + 2]));
      i += 2;
    } else {
      name += last[i];
    }
  }
  size_t dot = name.rfind('.');
  return dot == std::string::npos ? name : name.substr(0, dot);
}

// The meta file comes from the network: the file is written only under the
// name the caller asked for (either spelling: the code page or UTF-8).
bool IsRequestedName(const std::string& meta_name, const std::string& meta_url) {
  std::string requested = RequestedName(meta_url);
  return platform::EqualsNoCase(meta_name, requested) ||
         platform::EqualsNoCase(meta_name, platform::Utf8ToCp949(requested));
}

// Waits as long as the download rate limit asks for.
void Throttle(uint64_t bytes, uint32_t started_ms) {
  int32_t limit = g_download_limit.load();
  if (limit <= 0) return;
  uint64_t due_ms = bytes * 1000 / static_cast<uint64_t>(limit);
  uint32_t elapsed = platform::GetTickCount() - started_ms;
  if (due_ms > elapsed) platform::Sleep(static_cast<uint32_t>(due_ms - elapsed));
}

enum class SourceResult { kDone, kFailed, kWriteFailed, kStopped };

// Fetches one source into the part file, continuing what it holds.
SourceResult FetchSource(Download* d, platform::InternetSession* session, const std::string& url,
                         const std::string& directory, const std::string& part, uint64_t size,
                         std::vector<char>* buffer) {
  platform::File file;
  if (!file.OpenInside(directory, part, platform::File::kWrite, platform::File::Mode::kOpenAlways))
    return SourceResult::kWriteFailed;
  int64_t have = file.Size();
  if (have < 0) return SourceResult::kWriteFailed;
  if (static_cast<uint64_t>(have) > size) {
    if (!file.Truncate(0)) return SourceResult::kWriteFailed;
    have = 0;
  }
  if (!file.Seek(static_cast<uint64_t>(have))) return SourceResult::kWriteFailed;
  d->downloaded = static_cast<uint32_t>(have);
  if (static_cast<uint64_t>(have) == size) return SourceResult::kDone;

  std::string headers;
  if (have > 0) headers = "Range: bytes=" + std::to_string(have) + "-\r\n";
  std::unique_ptr<platform::InternetRequest> request = platform::OpenUrl(session, url, headers);
  uint32_t status = 0;
  if (!request || !request->QueryStatusCode(&status)) return SourceResult::kFailed;
  if (status == 200 && have > 0) {
    // The source ignored the range: the whole file comes again.
    if (!file.Truncate(0) || !file.Seek(0)) return SourceResult::kWriteFailed;
    have = 0;
    d->downloaded = 0;
  } else if (status != 200 && status != 206) {
    return SourceResult::kFailed;
  }
  char length_text[32];
  uint64_t length = 0;
  if (!request->QueryContentLength(length_text, sizeof(length_text)) ||
      !platform::ParseContentLength(length_text, &length) ||
      static_cast<uint64_t>(have) + length != size)
    return SourceResult::kFailed;  // not the file the meta file describes

  uint64_t done = static_cast<uint64_t>(have);
  uint32_t started = platform::GetTickCount();
  uint64_t fetched = 0;
  while (done < size) {
    if (d->stop) return SourceResult::kStopped;
    uint32_t want = static_cast<uint32_t>(std::min<uint64_t>(buffer->size(), size - done));
    uint32_t got = 0;
    if (!request->Read(buffer->data(), want, &got) || got == 0) return SourceResult::kFailed;
    if (!file.Write(buffer->data(), got)) return SourceResult::kWriteFailed;
    done += got;
    fetched += got;
    d->downloaded = static_cast<uint32_t>(done);
    uint32_t elapsed = platform::GetTickCount() - started;
    if (elapsed > 0) d->rate = static_cast<uint32_t>(fetched * 1000 / elapsed);
    Throttle(fetched, started);
  }
  return file.Sync() ? SourceResult::kDone : SourceResult::kWriteFailed;
}

void Run(std::shared_ptr<Download> d, std::string meta_url, std::string directory) {
  auto fail = [&](uint32_t code) {
    d->state = kSwarmletStateFailed;
    if (!d->stop && d->on_error != nullptr) d->on_error(d->handle, code);
  };
  platform::InternetSession session("Swarmlet");
  session.SetReceiveTimeout(kReceiveTimeoutMs);
  std::string text;
  if (!FetchSmall(&session, meta_url, &text)) return fail(kSwarmletErrorMetaUnreachable);
  SwarmletMeta meta;
  if (!ReadSwarmletMeta(text.data(), text.size(), &meta, nullptr) ||
      !IsRequestedName(meta.name, meta_url))
    return fail(kSwarmletErrorMetaInvalid);
  d->total = static_cast<uint32_t>(meta.size);
  d->sources = static_cast<uint32_t>(meta.sources.size());

  if (!platform::CreateDirectoryChain(directory)) return fail(kSwarmletErrorWriteFailed);
  std::string target = directory + "\\" + meta.name;
  std::string part = target + ".part";
  std::vector<char> buffer(kChunk);
  SourceResult result = SourceResult::kFailed;
  for (const std::string& source : meta.sources) {
    result = FetchSource(d.get(), &session, source, directory, part, meta.size, &buffer);
    if (result != SourceResult::kFailed) break;
  }
  if (result == SourceResult::kStopped) return;
  if (result == SourceResult::kWriteFailed) return fail(kSwarmletErrorWriteFailed);
  if (result == SourceResult::kFailed) return fail(kSwarmletErrorNoSource);
  if (!platform::ReplaceInside(directory, part, target)) return fail(kSwarmletErrorWriteFailed);
  d->downloaded = static_cast<uint32_t>(meta.size);
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
