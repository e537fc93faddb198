// A scripted engine library for the adapter's tests, built as "Swarmlet.dll"
// beside the adapter test program. It records every call in a log and
// behaves as the test sets it up through the TestEngine_* exports. Built a
// second time without SetOnWarning, as an incomplete engine.
#include <atomic>
#include <chrono>
#include <cstdio>
#include <mutex>
#include <string>
#include <thread>

#include "transfer/swarmlet_api.h"
#include "transfer/swarmlet_engine/engine_exports.h"

namespace kivro {

namespace {

// What a download does.
enum Mode : int32_t {
  kCompleteAfterPolls = 0,   // completion callback from the poll number `polls`
  kErrorAtStart = 1,         // error callback inside StartDownload
  kErrorAtPoll = 2,          // error callback from inside the poll number `polls`
  kNeverEnds = 3,            // only Stop ends it
};

std::mutex g_mutex;
std::string g_log;
int32_t g_init_result = 0;
bool g_init_answers = true;
bool g_init_from_thread = true;
uint32_t g_create_result = 7;
int32_t g_mode = kCompleteAfterPolls;
uint32_t g_polls = 1;
uint32_t g_total = 1000;
uint32_t g_step = 250;
uint32_t g_error_code = 0;
uint32_t g_poll_count = 0;
// Read by threads of the test that play the engine's own threads.
std::atomic<SwarmletCallback> g_complete{nullptr};
std::atomic<SwarmletCallback> g_error{nullptr};
std::thread g_init_thread;

void Log(const std::string& entry) {
  std::lock_guard<std::mutex> lock(g_mutex);
  g_log += entry + ";";
}

}  // namespace

// --- control of the test engine ------------------------------------------

SWARMLET_EXPORT void TestEngine_Reset() {
  if (g_init_thread.joinable()) g_init_thread.join();
  std::lock_guard<std::mutex> lock(g_mutex);
  g_log.clear();
  g_init_result = 0;
  g_init_answers = true;
  g_init_from_thread = true;
  g_create_result = 7;
  g_mode = kCompleteAfterPolls;
  g_polls = 1;
  g_total = 1000;
  g_step = 250;
  g_error_code = 0;
  g_poll_count = 0;
  g_complete = nullptr;
  g_error = nullptr;
}

SWARMLET_EXPORT void TestEngine_SetInit(int32_t result, int32_t answers, int32_t from_thread) {
  std::lock_guard<std::mutex> lock(g_mutex);
  g_init_result = result;
  g_init_answers = answers != 0;
  g_init_from_thread = from_thread != 0;
}

SWARMLET_EXPORT void TestEngine_SetCreateResult(uint32_t handle) {
  std::lock_guard<std::mutex> lock(g_mutex);
  g_create_result = handle;
}

SWARMLET_EXPORT void TestEngine_SetDownload(int32_t mode, uint32_t polls, uint32_t total,
                                            uint32_t step, uint32_t error_code) {
  std::lock_guard<std::mutex> lock(g_mutex);
  g_mode = mode;
  g_polls = polls;
  g_total = total;
  g_step = step;
  g_error_code = error_code;
}

// Copies the call log into `buffer`; returns its full length.
SWARMLET_EXPORT uint32_t TestEngine_Log(char* buffer, uint32_t size) {
  std::lock_guard<std::mutex> lock(g_mutex);
  if (buffer != nullptr && size > 0) {
    snprintf(buffer, size, "%s", g_log.c_str());
  }
  return static_cast<uint32_t>(g_log.size());
}

// Calls the registered completion callback with any handle.
SWARMLET_EXPORT void TestEngine_FireComplete(uint32_t handle) {
  SwarmletCallback callback = g_complete.load();
  if (callback != nullptr) callback(handle, 0);
}
SWARMLET_EXPORT void TestEngine_FireError(uint32_t handle, uint32_t code) {
  SwarmletCallback callback = g_error.load();
  if (callback != nullptr) callback(handle, code);
}

// --- the engine exports ----------------------------------------------------

SWARMLET_EXPORT int32_t ModuleInit(SwarmletCallback on_init, int32_t reserved) {
  Log("ModuleInit(" + std::to_string(reserved) + ")");
  if (g_init_thread.joinable()) g_init_thread.join();
  if (!g_init_answers) return 0;
  int32_t result = g_init_result;
  if (g_init_from_thread) {
    g_init_thread = std::thread([on_init, result] {
      std::this_thread::sleep_for(std::chrono::milliseconds(150));  // the adapter must wait
      on_init(static_cast<uint32_t>(result), 0);
    });
  } else {
    on_init(static_cast<uint32_t>(result), 0);
  }
  return 0;
}

SWARMLET_EXPORT int32_t ModuleUninit() {
  Log("ModuleUninit");
  if (g_init_thread.joinable()) g_init_thread.join();
  return 0;
}

SWARMLET_EXPORT int32_t SetUploadRateLimit(int32_t limit) {
  Log("SetUploadRateLimit(" + std::to_string(limit) + ")");
  return 0;
}
SWARMLET_EXPORT int32_t GetUploadRateLimit() {
  Log("GetUploadRateLimit");
  return -1;
}
SWARMLET_EXPORT int32_t SetDownloadRateLimit(int32_t limit) {
  Log("SetDownloadRateLimit(" + std::to_string(limit) + ")");
  return 0;
}
SWARMLET_EXPORT int32_t GetDownloadRateLimit() {
  Log("GetDownloadRateLimit");
  return -1;
}

SWARMLET_EXPORT uint32_t CreateSingleSwarmlet() {
  Log("Create");
  std::lock_guard<std::mutex> lock(g_mutex);
  g_poll_count = 0;
  return g_create_result;
}

SWARMLET_EXPORT int32_t DestroySingleSwarmlet(uint32_t handle) {
  Log("Destroy(" + std::to_string(handle) + ")");
  return 0;
}

SWARMLET_EXPORT int32_t StartDownload(uint32_t handle, const char* meta_url, const char* extra,
                                      const char* reserved_text, const char* directory,
                                      int32_t reserved1, int32_t reserved2) {
  Log("Start(" + std::to_string(handle) + "," + meta_url + "," + extra + "," + reserved_text + "," +
      directory + "," + std::to_string(reserved1) + "," + std::to_string(reserved2) + ")");
  SwarmletCallback on_error = g_error.load();
  if (g_mode == kErrorAtStart && on_error != nullptr) on_error(handle, g_error_code);
  return 0;
}

SWARMLET_EXPORT int32_t Stop(uint32_t handle) {
  Log("Stop(" + std::to_string(handle) + ")");
  return 0;
}

SWARMLET_EXPORT int32_t GetTotalDownloadStatus(uint32_t handle, uint32_t* state, uint32_t* total,
                                               uint32_t* downloaded, uint32_t* download_rate,
                                               uint32_t* upload_rate, uint32_t* peers,
                                               uint32_t* sources) {
  Log("Status");
  uint32_t n;
  {
    std::lock_guard<std::mutex> lock(g_mutex);
    n = ++g_poll_count;
  }
  *state = kSwarmletStateRunning;
  *total = g_total;
  uint64_t done = static_cast<uint64_t>(g_step) * n;
  *downloaded = static_cast<uint32_t>(done > 0xFFFFFFFFull ? 0xFFFFFFFFull : done);
  *download_rate = *upload_rate = *peers = *sources = 0xDEAD;  // the adapter ignores them
  if (n == g_polls) {
    SwarmletCallback on_complete = g_complete.load(), on_error = g_error.load();
    if (g_mode == kCompleteAfterPolls && on_complete != nullptr) on_complete(handle, 0);
    if (g_mode == kErrorAtPoll && on_error != nullptr) on_error(handle, g_error_code);
  }
  return 0;
}

SWARMLET_EXPORT int32_t SetOnDownloadComplete(uint32_t handle, SwarmletCallback callback) {
  Log("SetOnDownloadComplete(" + std::to_string(handle) + ")");
  g_complete = callback;
  return 0;
}

SWARMLET_EXPORT int32_t SetOnError(uint32_t handle, SwarmletCallback callback) {
  Log("SetOnError(" + std::to_string(handle) + ")");
  g_error = callback;
  return 0;
}

#ifndef KIVRO_TEST_ENGINE_INCOMPLETE
SWARMLET_EXPORT int32_t SetOnWarning(uint32_t, SwarmletCallback) {
  Log("SetOnWarning");
  return 0;
}
#endif

}  // namespace kivro
