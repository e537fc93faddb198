// The engines' HTTP side: small bodies (meta files, .torrent files) and a
// whole file from the HTTP sources its meta file names. The reference
// engine fetches every file this way; the swarm engine fetches files this
// way when their release was published without torrents.
#pragma once
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/internet.h"
#include "transfer/swarmlet_meta.h"

namespace kivro {

// Reads a whole body of at most `limit` bytes from a URL answering 200.
bool FetchSmall(platform::InternetSession* session, const std::string& url, size_t limit,
                std::string* body);

// The meta file comes from the network: a file is written only under the
// name the caller asked for, the meta URL's last element without its
// extension ("a.zip" of ".../a.zip.swarmlet"), in either spelling (the code
// page or UTF-8).
bool IsRequestedName(const std::string& meta_name, const std::string& meta_url);

// What a file fetch reads and reports while it runs: the stop request, the
// bytes the part file holds, the rate, and the engine's download limit
// (bytes per second, 0 or below: none).
struct HttpFetchState {
  const std::atomic<bool>* stop;
  std::atomic<uint32_t>* downloaded;
  std::atomic<uint32_t>* rate;
  const std::atomic<int32_t>* download_limit;
};

// FetchFromSources' answer when the stop request ended it: no callback is due.
constexpr uint32_t kHttpFetchStopped = 0xFFFFFFFF;

// Fetches the file `meta` describes from its sources, in order, into
// "<name>.part" inside `directory` (continuing what an earlier attempt left
// there, with a Range request) and renames it to "<name>" when complete.
// Both names are changed below `directory` only, never through a link.
// 0 when complete, else the engine error (kSwarmletErrorNoSource,
// kSwarmletErrorWriteFailed) or kHttpFetchStopped.
uint32_t FetchFromSources(platform::InternetSession* session, const SwarmletMeta& meta,
                          const std::string& directory, const HttpFetchState& state);

}  // namespace kivro
