// The functions a peer-to-peer engine library "Swarmlet.dll" exports, as
// the adapter (CSwarmlet) calls them. Every engine built here (the
// reference engine, the test engine) implements exactly these.
//
// Call order per file: CreateSingleSwarmlet, SetOnDownloadComplete,
// SetOnError, StartDownload, GetTotalDownloadStatus (repeated), Stop,
// DestroySingleSwarmlet. ModuleInit once before all of them (its answer
// comes through the callback, on any thread), ModuleUninit once after.
// Callbacks may come on the engine's own threads.
#pragma once
#include <cstdint>

#include "transfer/transfer_codes.h"

namespace kivro {

extern "C" {

// (first, second): ModuleInit's callback gets (result 0 = ready, else
// failed; unused); the completion callback (download handle, unused); the
// error callback (download handle, engine error code).
typedef void (*SwarmletCallback)(uint32_t first, uint32_t second);

typedef int32_t (*SwarmletModuleInitFn)(SwarmletCallback on_init, int32_t reserved);
typedef int32_t (*SwarmletModuleUninitFn)();
typedef int32_t (*SwarmletSetRateLimitFn)(int32_t limit);  // -1: no limit
typedef int32_t (*SwarmletGetRateLimitFn)();
typedef uint32_t (*SwarmletCreateFn)();  // 0 = failure
typedef int32_t (*SwarmletHandleFn)(uint32_t handle);  // DestroySingleSwarmlet, Stop
// (handle, meta-file URL, extra engine text, "", target directory, 0, 0)
typedef int32_t (*SwarmletStartDownloadFn)(uint32_t handle, const char* meta_url,
                                           const char* extra, const char* reserved_text,
                                           const char* directory, int32_t reserved1,
                                           int32_t reserved2);
// (handle, state, total bytes, downloaded bytes, download rate, upload rate,
// peers, sources)
typedef int32_t (*SwarmletStatusFn)(uint32_t handle, uint32_t* state, uint32_t* total,
                                    uint32_t* downloaded, uint32_t* download_rate,
                                    uint32_t* upload_rate, uint32_t* peers, uint32_t* sources);
typedef int32_t (*SwarmletSetCallbackFn)(uint32_t handle, SwarmletCallback callback);

}  // extern "C"

// Download states an engine's status call reports.
enum SwarmletState : uint32_t {
  kSwarmletStateIdle = 0,
  kSwarmletStateRunning = 1,
  kSwarmletStateDone = 2,
  kSwarmletStateFailed = 3,
};

// The export names, in the order the adapter looks them up.
constexpr const char* kSwarmletExports[14] = {
    "ModuleInit",           "ModuleUninit",          "SetUploadRateLimit",
    "GetUploadRateLimit",   "SetDownloadRateLimit",  "GetDownloadRateLimit",
    "CreateSingleSwarmlet", "DestroySingleSwarmlet", "StartDownload",
    "Stop",                 "GetTotalDownloadStatus", "SetOnDownloadComplete",
    "SetOnError",           "SetOnWarning",
};

// The engine library's file name, looked for in the program's own folder.
constexpr const char kSwarmletLibraryName[] = "Swarmlet.dll";

}  // namespace kivro
