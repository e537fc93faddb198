// The settings file beside the swarm engine may be edited by anyone who
// can write the program's folder: any bytes must read without a fault, a
// file that reads must hold only values in range, and one that does not
// read must leave the settings as they were.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "transfer/swarmlet_engine/engine_settings.h"

using namespace kivro;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  SwarmletSettings settings;
  std::string why;
  if (!ReadSwarmletSettings(reinterpret_cast<const char*>(data), size, &settings, &why)) {
    SwarmletSettings defaults;
    if (why.empty() || settings.listen != defaults.listen || !settings.peers.empty()) abort();
    return 0;
  }
  if (settings.stall_seconds < 1 || settings.seed_seconds < -1 || settings.listen_retries < 0 ||
      settings.web_seed_retry_seconds < 1 || settings.peers.size() > kSwarmletSettingsMaxPeers ||
      settings.listen.empty())
    abort();
  for (const std::string& peer : settings.peers) {
    std::string address;
    uint16_t port = 0;
    if (!SplitSwarmletPeer(peer, &address, &port) || port == 0) abort();
  }
  return 0;
}
