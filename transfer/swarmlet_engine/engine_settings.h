// The swarm engine's settings file "Swarmlet.ini", read from the folder the
// engine library sits in (the program's folder). Without the file every
// setting has its default, the one for players on the internet.
//
// Format: text lines "key = value", at most 16 KiB; blank lines and lines
// starting with '#' or ';' are skipped; a "\r" before "\n" is ignored.
//
//   listen = 0.0.0.0:6881,[::]:6881   where peers reach us (libtorrent's
//                                      listen_interfaces syntax)
//   listen_retries = 10                the next ports tried when one is taken,
//                                      so several players on one PC coexist
//   dht = 1                            distributed hash table (peer discovery)
//   lsd = 1                            local service discovery (PC rooms)
//   upnp = 0, natpmp = 0               port mapping on the router: off, since
//                                      opening ports is the player's decision
//   utp = 1                            uTP beside TCP between peers: it yields
//                                      to the player's other traffic (the
//                                      live broadcast)
//   same_ip_peers = 0                  several peers behind one address (tests
//                                      on loopback need 1)
//   peer = 192.168.0.7:6881            a peer to connect to for every file
//                                      (repeatable, at most 32; LAN seeds)
//   seed_seconds = -1                  seeding after completion: -1 until the
//                                      engine is closed, 0 not at all
//   stall_seconds = 10                 no byte from any source this long ends
//                                      the download with an error (as the
//                                      HTTP engine's receive time-out)
//   web_seed_retry_seconds = 30        wait before a failed web seed is tried again
//
// A file that does not read (unknown key, bad value) fails the engine's
// start, so a typing error never silently changes what the engine does.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace kivro {

struct SwarmletSettings {
  std::string listen = "0.0.0.0:6881,[::]:6881";
  int32_t listen_retries = 10;
  bool dht = true;
  bool lsd = true;
  bool upnp = false;
  bool natpmp = false;
  bool utp = true;
  bool same_ip_peers = false;
  std::vector<std::string> peers;  // "host:port", IPv6 as "[addr]:port"
  int32_t seed_seconds = -1;
  int32_t stall_seconds = 10;
  int32_t web_seed_retry_seconds = 30;
};

constexpr size_t kSwarmletSettingsMaxBytes = 16 * 1024;
constexpr size_t kSwarmletSettingsMaxPeers = 32;
constexpr char kSwarmletSettingsName[] = "Swarmlet.ini";

// Reads a settings file over the defaults in `*settings`. False, with the
// line number and a reason in `*why`, when it does not read; `*settings` is
// then unchanged.
bool ReadSwarmletSettings(const char* data, size_t size, SwarmletSettings* settings,
                          std::string* why);

// A peer entry: an IPv4 address or a bracketed IPv6 address, a colon and a
// port 1..65535. Split into address text and port when it is one.
bool SplitSwarmletPeer(const std::string& text, std::string* address, uint16_t* port);

}  // namespace kivro
