// Every code the transfer engines report: the HTTP/FTP engine's and the
// peer-to-peer adapter's results, and the error codes a peer-to-peer
// engine library passes to its error callback.
#pragma once
#include <cstdint>

// Result codes of CNet (besides 0 done and 1 stopped).

namespace kivro {

enum NetResult : int32_t {
  kNetDone = 0,
  kNetStopped = 1,
  kNetMoveFailed = 11,
  kNetBadUrl = 12,
  kNetCreateFileFailed = 13,
  kNetOpenTempFailed = 14,
  kNetSeekFailed = 15,
  kNetWriteFailed = 16,
  kNetWrongState = 31,
  kNetSessionFailed = 32,
  kNetOpenFailed = 33,
  kNetNoLength = 34,
  kNetReadFailed = 35,
  kNetConnectFailed = 36,
  // The server declared a file of 4 GiB or more, beyond the 32-bit counters.
  kNetFileTooLarge = 37,
  kNetOpenRequestFailed = 40,
  kNetSendFailed = 41,
  kNetQueryFailed = 42,
  kNetFtpCommandFailed = 50,
  kNetFtpReplyFailed = 51,
};

// Result codes of CSwarmlet (besides 0 done).
enum SwarmletResult : int32_t {
  kSwarmletStopped = 1,
  kSwarmletLoadFailed = 21,     // library missing, or an entry point missing
  kSwarmletInitFailed = 22,     // the engine refused (or never answered) the module start
  kSwarmletCreateFailed = 23,   // CreateSingleSwarmlet returned 0
  kSwarmletEngineError = 24,    // the engine reported an error
  kSwarmletFtpUnsupported = 25,
};

// Engine error codes, passed as the error callback's second value.
enum SwarmletEngineError : uint32_t {
  kSwarmletErrorMetaUnreachable = 1,  // the meta file could not be fetched
  kSwarmletErrorMetaInvalid = 2,      // it is not a meta file
  kSwarmletErrorNoSource = 3,         // no source delivered the file
  kSwarmletErrorWriteFailed = 4,      // the target folder refused the file
  kSwarmletErrorBadArguments = 5,     // StartDownload without a meta URL or a folder
};

}  // namespace kivro
