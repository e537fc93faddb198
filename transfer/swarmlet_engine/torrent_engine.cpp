// The swarm engine "Swarmlet.dll" on libtorrent: players share a release
// with each other instead of all pulling it from the download server. The
// server stays the source of truth: every published file is also a web seed
// (its HTTP URL in the torrent's url-list), so a swarm of one completes at
// HTTP speed and no tracker of ours is needed (peers come from DHT, local
// discovery and the settings file's fixed peers).
//
// One libtorrent session per process, started by ModuleInit with the
// settings file beside the library (engine_settings.h). Per download, on a
// thread of its own: read the meta file (swarmlet_meta.h), fetch the
// .torrent it names, add it with "<directory>\<name>.part" as the file,
// watch its status until every piece is verified, then rename the part file
// to "<directory>\<name>" and, unless the settings say otherwise, seed it
// from there until the engine is closed. A meta file naming no torrent (a
// release published without torrents) is fetched from its HTTP sources as
// the reference engine does (http_sources.h). Stop before completion removes the
// torrent and keeps the part file; the next download of the same file
// checks it and fetches only what is missing.
//
// Error codes given to the error callback (those of the reference engine):
// 1 meta file or .torrent unreachable, 2 not a meta file or torrent (or one
// that does not match its meta file, or would leave the target folder), 3 no source delivered a byte for the stall time (web seed
// failing and no peers), 4 the target folder refused the file, 5 bad
// arguments or no session.
//
// Thread safety: every export may be called from any thread. The table of
// downloads and the seeding list are guarded by g_mutex; the session by
// g_session_mutex (libtorrent's own calls are thread-safe, the pointer is
// not); each download's counters are atomics. Stop waits for the download's
// thread, after which no callback for it comes.
#include <atomic>
#include <chrono>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <libtorrent/add_torrent_params.hpp>
#include <libtorrent/address.hpp>
#include <libtorrent/alert.hpp>
#include <libtorrent/error_code.hpp>
#include <libtorrent/ip_filter.hpp>
#include <libtorrent/peer_info.hpp>
#include <libtorrent/posix_disk_io.hpp>
#include <libtorrent/session.hpp>
#include <libtorrent/session_params.hpp>
#include <libtorrent/settings_pack.hpp>
#include <libtorrent/torrent_flags.hpp>
#include <libtorrent/torrent_handle.hpp>
#include <libtorrent/torrent_info.hpp>
#include <libtorrent/torrent_status.hpp>

#include "platform/codepage.h"
#include "platform/debug.h"
#include "platform/dynlib.h"
#include "platform/file.h"
#include "platform/file_inside.h"
#include "platform/internet.h"
#include "platform/paths.h"
#include "platform/thread.h"
#include "transfer/swarmlet_api.h"
#include "transfer/swarmlet_engine/download_table.h"
#include "transfer/swarmlet_engine/engine_exports.h"
#include "transfer/swarmlet_engine/http_sources.h"
#include "transfer/swarmlet_engine/engine_settings.h"
#include "transfer/swarmlet_meta.h"

namespace kivro {

namespace {

constexpr uint32_t kReceiveTimeoutMs = 10000;      // meta file and .torrent, as CNet
constexpr size_t kTorrentMaxBytes = 8 * 1024 * 1024;  // a 4 GiB file in 16 KiB pieces is 5 MiB
constexpr uint32_t kWatchMs = 100;
constexpr uint32_t kRemoveWaitMs = 5000;

struct Download {
  uint32_t handle = 0;
  SwarmletCallback on_complete = nullptr;
  SwarmletCallback on_error = nullptr;
  std::thread worker;
  std::atomic<bool> stop{false};
  std::atomic<uint32_t> state{kSwarmletStateIdle};
  std::atomic<uint32_t> total{0};
  std::atomic<uint32_t> downloaded{0};
  std::atomic<uint32_t> down_rate{0};
  std::atomic<uint32_t> up_rate{0};
  std::atomic<uint32_t> peers{0};
  std::atomic<uint32_t> sources{0};
};

struct Seeding {
  lt::torrent_handle torrent;
  std::chrono::steady_clock::time_point until;  // max(): until the engine is closed
};

std::mutex g_mutex;  // g_seeding, g_settings
DownloadTable<Download> g_downloads;
std::vector<Seeding> g_seeding;
SwarmletSettings g_settings;

// The init thread takes g_session_mutex to publish the session, so it is
// joined under a mutex of its own.
std::mutex g_init_mutex;  // g_init_thread
std::thread g_init_thread;
std::mutex g_session_mutex;  // g_session, g_pump
std::shared_ptr<lt::session> g_session;
std::thread g_pump;
std::atomic<bool> g_pump_stop{false};

std::atomic<int32_t> g_download_limit{-1};  // bytes per second, -1 none
std::atomic<int32_t> g_upload_limit{-1};

void StopDownload(const std::shared_ptr<Download>& d) {
  d->stop = true;
  if (d->worker.joinable() && d->worker.get_id() != std::this_thread::get_id()) d->worker.join();
}

std::shared_ptr<Download> Find(uint32_t handle) { return g_downloads.Find(handle); }

std::shared_ptr<lt::session> Session() {
  std::lock_guard<std::mutex> lock(g_session_mutex);
  return g_session;
}

void Trace(const std::string& line) { platform::OutputDebugText(("Swarmlet: " + line + "\n").c_str()); }

// libtorrent's limits: 0 is none.
int LimitValue(int32_t limit) { return limit < 0 ? 0 : limit; }

lt::settings_pack SessionSettings(const SwarmletSettings& s) {
  lt::settings_pack pack;
  pack.set_str(lt::settings_pack::user_agent, "KIVRO Swarmlet");
  pack.set_str(lt::settings_pack::listen_interfaces, s.listen);
  pack.set_int(lt::settings_pack::max_retry_port_bind, s.listen_retries);
  pack.set_bool(lt::settings_pack::enable_dht, s.dht);
  pack.set_bool(lt::settings_pack::enable_lsd, s.lsd);
  pack.set_bool(lt::settings_pack::enable_upnp, s.upnp);
  pack.set_bool(lt::settings_pack::enable_natpmp, s.natpmp);
  pack.set_bool(lt::settings_pack::allow_multiple_connections_per_ip, s.same_ip_peers);
  pack.set_bool(lt::settings_pack::enable_outgoing_utp, s.utp);
  pack.set_bool(lt::settings_pack::enable_incoming_utp, s.utp);
  pack.set_int(lt::settings_pack::urlseed_wait_retry, s.web_seed_retry_seconds);
  // A web seed request waits for rate-limit quota for all its bytes before
  // the first arrives: libtorrent's 16 MiB would look like a stall under a
  // limit. 1 MiB also leaves the rest of the file to the swarm's other
  // players when several start together.
  pack.set_int(lt::settings_pack::urlseed_max_request_bytes, 1024 * 1024);
  // Blocks asked of one peer or web seed and not yet received: 1 MiB, which
  // keeps a 20 ms path busy at 50 MB/s. libtorrent's default (3 seconds of
  // the current rate, up to 8 MiB) has each player ask the server for a
  // quarter of a release at once when several start together, pieces the
  // others are fetching already: the server's uplink then carries many
  // copies of them.
  pack.set_int(lt::settings_pack::max_out_request_queue, 64);
  pack.set_int(lt::settings_pack::download_rate_limit, LimitValue(g_download_limit));
  pack.set_int(lt::settings_pack::upload_rate_limit, LimitValue(g_upload_limit));
  // Alerts are drained by the pump and only errors are worth a trace.
  pack.set_int(lt::settings_pack::alert_mask, lt::alert_category::error);
  return pack;
}

// libtorrent exempts peers on local networks (and loopback) from the rate
// limits by default; the player's limits here cover every peer and web seed.
void LimitEveryPeer(lt::session* session) {
  lt::ip_filter classes;
  const std::uint32_t global = 1u << static_cast<std::uint32_t>(lt::session::global_peer_class_id);
  classes.add_rule(lt::make_address("0.0.0.0"), lt::make_address("255.255.255.255"), global);
  classes.add_rule(lt::make_address("::"), lt::make_address("ffff:ffff:ffff:ffff:ffff:ffff:ffff:ffff"),
                   global);
  session->set_peer_class_filter(classes);
}

// Removes a torrent (its files stay) and waits until the session let it go,
// so that its file can be renamed or added again.
void RemoveTorrent(lt::session* session, const lt::torrent_handle& torrent) {
  if (!torrent.is_valid()) return;
  session->remove_torrent(torrent);
  for (uint32_t waited = 0; torrent.is_valid() && waited < kRemoveWaitMs; waited += 10)
    platform::Sleep(10);
}

// Drains alerts, traces errors, ends seeding that ran its time or failed
// (a seeded file the launcher removed after unpacking it).
void PumpOnce(lt::session* session);
void Pump(std::shared_ptr<lt::session> session) {
  while (!g_pump_stop) {
    try {
      PumpOnce(session.get());
    } catch (const std::exception& e) {
      Trace(std::string("pump: ") + e.what());
    }
  }
}

void PumpOnce(lt::session* session) {
  {
    session->wait_for_alert(std::chrono::milliseconds(250));
    std::vector<lt::alert*> alerts;
    session->pop_alerts(&alerts);
    for (lt::alert* a : alerts)
      if (a->category() & lt::alert_category::error) Trace(a->message());
    std::vector<lt::torrent_handle> ended;
    {
      std::lock_guard<std::mutex> lock(g_mutex);
      auto now = std::chrono::steady_clock::now();
      for (auto it = g_seeding.begin(); it != g_seeding.end();) {
        bool failed = !it->torrent.is_valid() || it->torrent.status({}).errc;
        if (now >= it->until || failed) {
          ended.push_back(it->torrent);
          it = g_seeding.erase(it);
        } else {
          ++it;
        }
      }
    }
    for (const lt::torrent_handle& t : ended) session->remove_torrent(t);
  }
}

// The .torrent for `meta`, checked against it: one file, the meta file's
// name and size. Null with the engine error in `*error`.
std::shared_ptr<lt::torrent_info> LoadTorrent(platform::InternetSession* http,
                                              const std::string& meta_url,
                                              const SwarmletMeta& meta, uint32_t* error) {
  *error = kSwarmletErrorMetaInvalid;
  size_t slash = meta_url.rfind('/');
  std::string url = meta_url.substr(0, slash + 1) + meta.torrent;
  std::string body;
  if (!FetchSmall(http, url, kTorrentMaxBytes, &body)) {
    *error = kSwarmletErrorMetaUnreachable;
    return nullptr;
  }
  lt::error_code ec;
  lt::load_torrent_limits limits;
  limits.max_buffer_size = static_cast<int>(kTorrentMaxBytes);
  auto ti = std::make_shared<lt::torrent_info>(lt::span<char const>(body.data(), static_cast<std::ptrdiff_t>(body.size())),
                                               ec, lt::from_span);
  if (ec || !ti->is_valid() || ti->num_files() != 1) return nullptr;
  const lt::file_storage& files = ti->files();
  if (files.file_name(lt::file_index_t{0}).to_string() != platform::Cp949ToUtf8(meta.name) ||
      static_cast<uint64_t>(files.file_size(lt::file_index_t{0})) != meta.size)
    return nullptr;
  return ti;
}

void ConnectPeers(const lt::torrent_handle& torrent, const std::vector<std::string>& peers) {
  for (const std::string& peer : peers) {
    std::string address;
    uint16_t port = 0;
    if (!SplitSwarmletPeer(peer, &address, &port)) continue;
    lt::error_code ec;
    lt::address a = lt::make_address(address, ec);
    if (!ec) torrent.connect_peer(lt::tcp::endpoint(a, port));
  }
}

// Any torrent of the same content in the session (a file seeded since an
// earlier download) leaves first: one file cannot be two torrents.
void TakeOverSameTorrent(lt::session* session, const lt::torrent_info& ti) {
  lt::torrent_handle old = session->find_torrent(ti.info_hashes().get_best());
  if (!old.is_valid()) return;
  {
    std::lock_guard<std::mutex> lock(g_mutex);
    for (auto it = g_seeding.begin(); it != g_seeding.end(); ++it) {
      if (it->torrent == old) {
        g_seeding.erase(it);
        break;
      }
    }
  }
  RemoveTorrent(session, old);
}

// The web seed is the download server: the swarm's only source of pieces
// no player has yet, and its last resort. It is used while no other peer is
// connected, while the peers give less than kPeersEnoughRate together, or
// while we lack a piece that no connected peer has (which covers "no peer
// has a piece we lack"); rarest first then takes those from the server
// first. Otherwise it is taken off the torrent (at most one request of
// 1 MiB is cut short) until one of those holds again. So a swarm of one
// runs at HTTP speed, players who start together fetch different pieces
// from the server and the rest from each other, and the server's uplink
// never idles while the swarm still lacks a piece (with the peers' rate
// alone as the test, every player left it at once and the server sat idle
// until they ran out of pieces).
class WebSeedSwitch {
 public:
  static constexpr int kPeersEnoughRate = 1024 * 1024;  // bytes per second
  static constexpr auto kCheck = std::chrono::milliseconds(500);
  static constexpr auto kOffAfter = std::chrono::milliseconds(1000);

  explicit WebSeedSwitch(const lt::torrent_info& ti) {
    for (const lt::web_seed_entry& seed : ti.web_seeds()) urls_.push_back(seed.url);
  }
  void Update(const lt::torrent_handle& torrent, const lt::torrent_status& st,
              std::chrono::steady_clock::time_point now) {
    if (urls_.empty() || now - last_check_ < kCheck) return;
    last_check_ = now;
    std::vector<lt::peer_info> peers;
    torrent.get_peer_info(peers);
    bool connected = false;
    int64_t rate = 0;
    // The pieces some connected peer has.
    lt::typed_bitfield<lt::piece_index_t> at_peers(st.pieces.size(), false);
    for (const lt::peer_info& p : peers) {
      if (p.connection_type != lt::peer_info::standard_bittorrent) continue;
      connected = true;
      rate += p.payload_down_speed;
      if (p.pieces.size() == at_peers.size())
        for (lt::piece_index_t i : p.pieces.range())
          if (p.pieces[i]) at_peers.set_bit(i);
    }
    // Without our own bitfield (not known yet) nothing says the peers suffice.
    bool lacking_new = st.pieces.empty();
    for (lt::piece_index_t i : st.pieces.range()) {
      if (!st.pieces[i] && !at_peers[i]) {
        lacking_new = true;
        break;
      }
    }
    bool want = !connected || rate < kPeersEnoughRate || lacking_new;
    if (want) {
      peers_enough_since_ = now;
      if (!on_) Switch(torrent, true);
    } else if (on_ && now - peers_enough_since_ >= kOffAfter) {
      Switch(torrent, false);
    }
  }

 private:
  void Switch(const lt::torrent_handle& torrent, bool on) {
    for (const std::string& url : urls_) {
      if (on) {
        torrent.add_url_seed(url);
      } else {
        torrent.remove_url_seed(url);
      }
    }
    on_ = on;
  }

  std::vector<std::string> urls_;
  bool on_ = true;  // the torrent starts with its web seeds
  std::chrono::steady_clock::time_point last_check_{};
  std::chrono::steady_clock::time_point peers_enough_since_ = std::chrono::steady_clock::now();
};

enum class WatchResult { kComplete, kStopped, kStalled, kFileError };

// Follows the torrent until it is complete and verified, stopped, stalled
// or failed, keeping the counters the adapter polls.
WatchResult Watch(Download* d, const lt::torrent_handle& torrent, const lt::torrent_info& ti,
                  uint32_t stall_ms) {
  WebSeedSwitch web_seed(ti);
  int64_t last_bytes = -1;
  auto last_progress = std::chrono::steady_clock::now();
  for (;;) {
    if (d->stop) return WatchResult::kStopped;
    lt::torrent_status st = torrent.status();
    if (st.errc) {
      Trace("torrent error: " + st.errc.message());
      return WatchResult::kFileError;
    }
    d->downloaded = static_cast<uint32_t>(st.total_wanted_done);
    d->down_rate = static_cast<uint32_t>(st.download_payload_rate);
    d->up_rate = static_cast<uint32_t>(st.upload_payload_rate);
    d->peers = static_cast<uint32_t>(st.num_peers);
    if (st.is_seeding && st.state == lt::torrent_status::seeding) return WatchResult::kComplete;
    auto now = std::chrono::steady_clock::now();
    web_seed.Update(torrent, st, now);
    // Checking a part file reads the disk, not the network: not a stall.
    bool checking = st.state == lt::torrent_status::checking_files ||
                    st.state == lt::torrent_status::checking_resume_data;
    if (checking || st.total_download != last_bytes) {
      last_bytes = st.total_download;
      last_progress = now;
    } else if (now - last_progress >= std::chrono::milliseconds(stall_ms)) {
      return WatchResult::kStalled;
    }
    platform::Sleep(kWatchMs);
  }
}

void RunDownload(const std::shared_ptr<Download>& d, const std::string& meta_url,
                 const std::string& directory) {
  auto fail = [&](uint32_t code) {
    d->state = kSwarmletStateFailed;
    if (!d->stop && d->on_error != nullptr) d->on_error(d->handle, code);
  };
  std::shared_ptr<lt::session> session = Session();
  if (!session) return fail(kSwarmletErrorBadArguments);
  SwarmletSettings settings;
  {
    std::lock_guard<std::mutex> lock(g_mutex);
    settings = g_settings;
  }

  platform::InternetSession http("Swarmlet");
  http.SetReceiveTimeout(kReceiveTimeoutMs);
  std::string text;
  if (!FetchSmall(&http, meta_url, kSwarmletMetaMaxBytes, &text)) return fail(kSwarmletErrorMetaUnreachable);
  SwarmletMeta meta;
  if (!ReadSwarmletMeta(text.data(), text.size(), &meta, nullptr)) return fail(kSwarmletErrorMetaInvalid);
  d->total = static_cast<uint32_t>(meta.size);
  if (meta.size == 0) {
    // Nothing to share (a torrent cannot describe an empty file): an empty
    // file is the whole download.
    platform::File empty;
    if (!platform::CreateDirectoryChain(directory) ||
        !empty.OpenInside(directory, directory + "\\" + meta.name, platform::File::kWrite,
                          platform::File::Mode::kCreateAlways))
      return fail(kSwarmletErrorWriteFailed);
    d->state = kSwarmletStateDone;
    if (!d->stop && d->on_complete != nullptr) d->on_complete(d->handle, 0);
    return;
  }
  if (meta.torrent.empty()) {
    // A release published without torrents: its files come from their
    // HTTP sources, as the reference engine fetches them (no seeding).
    if (!IsRequestedName(meta.name, meta_url)) return fail(kSwarmletErrorMetaInvalid);
    d->sources = static_cast<uint32_t>(meta.sources.size());
    HttpFetchState state{&d->stop, &d->downloaded, &d->down_rate, &g_download_limit};
    uint32_t code = FetchFromSources(&http, meta, directory, state);
    if (code == kHttpFetchStopped) return;
    if (code != 0) return fail(code);
    d->state = kSwarmletStateDone;
    if (!d->stop && d->on_complete != nullptr) d->on_complete(d->handle, 0);
    return;
  }
  uint32_t error = 0;
  std::shared_ptr<lt::torrent_info> ti = LoadTorrent(&http, meta_url, meta, &error);
  if (!ti) return fail(error);
  d->sources = static_cast<uint32_t>(ti->web_seeds().size());
  if (d->stop) return;

  if (!platform::CreateDirectoryChain(directory)) return fail(kSwarmletErrorWriteFailed);
  std::string target = directory + "\\" + meta.name;
  std::string part = target + ".part";
  // libtorrent opens the part file by its name: a link planted there (or at
  // the target) would have it write elsewhere. The folder is trusted as
  // given; its names are checked before they are handed over, and the
  // rename refuses a link again (file_inside.h).
  if (!platform::NoLinkInside(directory, part) || !platform::NoLinkInside(directory, target)) {
    Trace("a link stands at " + part + " or its target");
    return fail(kSwarmletErrorWriteFailed);
  }
  TakeOverSameTorrent(session.get(), *ti);

  lt::add_torrent_params params;
  params.ti = ti;
  params.save_path = platform::ToPosixPath(directory);
  // libtorrent names files in UTF-8; ours are code page 949 texts.
  params.renamed_files[lt::file_index_t{0}] = platform::Cp949ToUtf8(meta.name) + ".part";
  params.flags &= ~(lt::torrent_flags::auto_managed | lt::torrent_flags::paused);
  lt::error_code ec;
  lt::torrent_handle torrent = session->add_torrent(std::move(params), ec);
  if (ec) {
    Trace("add_torrent: " + ec.message());
    return fail(kSwarmletErrorMetaInvalid);
  }
  ConnectPeers(torrent, settings.peers);
  WatchResult result =
      Watch(d.get(), torrent, *ti, static_cast<uint32_t>(settings.stall_seconds) * 1000);
  RemoveTorrent(session.get(), torrent);  // the part file stays for the next attempt
  if (result == WatchResult::kStopped) return;
  if (result == WatchResult::kStalled) return fail(kSwarmletErrorNoSource);
  if (result == WatchResult::kFileError) return fail(kSwarmletErrorWriteFailed);

  if (!platform::ReplaceInside(directory, part, target)) return fail(kSwarmletErrorWriteFailed);
  d->downloaded = static_cast<uint32_t>(meta.size);
  if (settings.seed_seconds != 0) {
    // Seed the finished file under its own name; seed mode skips a second
    // check of what was just verified (a piece is hashed before it is sent).
    lt::add_torrent_params seed;
    seed.ti = ti;
    seed.save_path = platform::ToPosixPath(directory);
    seed.flags |= lt::torrent_flags::seed_mode;
    seed.flags &= ~(lt::torrent_flags::auto_managed | lt::torrent_flags::paused);
    lt::torrent_handle seeding = session->add_torrent(std::move(seed), ec);
    if (!ec) {
      auto until = settings.seed_seconds < 0
                       ? std::chrono::steady_clock::time_point::max()
                       : std::chrono::steady_clock::now() + std::chrono::seconds(settings.seed_seconds);
      ConnectPeers(seeding, settings.peers);
      std::lock_guard<std::mutex> lock(g_mutex);
      g_seeding.push_back(Seeding{seeding, until});
    }
  }
  d->state = kSwarmletStateDone;
  if (!d->stop && d->on_complete != nullptr) d->on_complete(d->handle, 0);
}

// libtorrent answers a call on a torrent the session dropped with an
// exception; nothing is thrown across the exports.
void Run(std::shared_ptr<Download> d, std::string meta_url, std::string directory) {
  try {
    RunDownload(d, meta_url, directory);
  } catch (const std::exception& e) {
    Trace(std::string("download: ") + e.what());
    d->state = kSwarmletStateFailed;
    if (!d->stop && d->on_error != nullptr) d->on_error(d->handle, kSwarmletErrorNoSource);
  }
}

// Reads the settings file beside the library: the program's folder when
// the adapter loaded it, a folder of its own for another copy (several
// players in one test process). No file: the defaults.
bool LoadSettings(SwarmletSettings* settings) {
  std::string library = platform::ModulePathOf(reinterpret_cast<const void*>(&LoadSettings));
  size_t slash = library.rfind('\\');
  std::string folder = slash == std::string::npos ? platform::ProgramDirectory() : library.substr(0, slash);
  std::string path = folder + "\\" + kSwarmletSettingsName;
  if (!platform::FileExists(path)) return true;
  platform::File file;
  int64_t size = -1;
  if (file.Open(path, platform::File::kRead, platform::File::Mode::kOpenExisting)) size = file.Size();
  if (size < 0 || static_cast<uint64_t>(size) > kSwarmletSettingsMaxBytes) {
    Trace(path + ": cannot read, or longer than 16 KiB");
    return false;
  }
  std::string text(static_cast<size_t>(size), '\0');
  if (size > 0 && !file.ReadExact(text.data(), text.size())) {
    Trace(path + ": cannot read");
    return false;
  }
  std::string why;
  if (!ReadSwarmletSettings(text.data(), text.size(), settings, &why)) {
    Trace(path + ": " + why);
    return false;
  }
  return true;
}

// Ends every download and seeding torrent and the session; the session's
// destructor waits for libtorrent's threads.
void CloseEngine() {
  std::vector<std::shared_ptr<Download>> all = g_downloads.TakeAll();
  {
    std::lock_guard<std::mutex> lock(g_mutex);
    g_seeding.clear();
  }
  for (auto& d : all) StopDownload(d);
  {
    std::lock_guard<std::mutex> lock(g_init_mutex);
    if (g_init_thread.joinable()) g_init_thread.join();
  }
  std::lock_guard<std::mutex> lock(g_session_mutex);
  g_pump_stop = true;
  if (g_pump.joinable()) g_pump.join();
  g_session.reset();
}

// A program may end without ModuleUninit (its adapter lives until the
// process ends): the engine's threads end when the library does.
struct EngineThreadsEnd {
  ~EngineThreadsEnd() { CloseEngine(); }
} g_threads_end;

}  // namespace

SWARMLET_EXPORT int32_t ModuleInit(SwarmletCallback on_init, int32_t) {
  std::lock_guard<std::mutex> lock(g_init_mutex);
  if (g_init_thread.joinable()) g_init_thread.join();
  // The session starts on a thread of the engine; its answer comes from there.
  g_init_thread = std::thread([on_init] {
    SwarmletSettings settings;
    bool ok = LoadSettings(&settings);
    std::shared_ptr<lt::session> session;
    if (ok) {
      try {
        lt::session_params params(SessionSettings(settings));
        // Reads and writes, not memory maps: a 32-bit player cannot map a
        // large release into its address space, and mapped pages would
        // count as the launcher's memory.
        params.disk_io_constructor = lt::posix_disk_io_constructor;
        session = std::make_shared<lt::session>(std::move(params));
        LimitEveryPeer(session.get());
      } catch (const std::exception& e) {
        Trace(std::string("session: ") + e.what());
        ok = false;
      }
    }
    if (ok) {
      {
        std::lock_guard<std::mutex> hold(g_mutex);
        g_settings = settings;
      }
      std::lock_guard<std::mutex> hold(g_session_mutex);
      if (g_pump.joinable()) {  // a second start without a close: keep the first session
        if (on_init != nullptr) on_init(0, 0);
        return;
      }
      g_session = session;
      g_pump_stop = false;
      g_pump = std::thread(Pump, session);
    }
    if (on_init != nullptr) on_init(ok ? 0 : 1, 0);
  });
  return 0;
}

SWARMLET_EXPORT int32_t ModuleUninit() {
  CloseEngine();
  return 0;
}

namespace {
void ApplyLimits() {
  std::shared_ptr<lt::session> session = Session();
  if (!session) return;
  lt::settings_pack pack;
  pack.set_int(lt::settings_pack::download_rate_limit, LimitValue(g_download_limit));
  pack.set_int(lt::settings_pack::upload_rate_limit, LimitValue(g_upload_limit));
  session->apply_settings(std::move(pack));
}
}  // namespace

// Rate limits in bytes per second for the whole session (every download
// and all seeding); -1 or 0: none.
SWARMLET_EXPORT int32_t SetUploadRateLimit(int32_t limit) {
  g_upload_limit = limit;
  ApplyLimits();
  return 0;
}
SWARMLET_EXPORT int32_t GetUploadRateLimit() { return g_upload_limit; }
SWARMLET_EXPORT int32_t SetDownloadRateLimit(int32_t limit) {
  g_download_limit = limit;
  ApplyLimits();
  return 0;
}
SWARMLET_EXPORT int32_t GetDownloadRateLimit() { return g_download_limit; }

SWARMLET_EXPORT uint32_t CreateSingleSwarmlet() {
  if (!Session()) return 0;  // no engine without its session
  return g_downloads.Add()->handle;
}

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

// Outputs: state (0 idle, 1 running, 2 done, 3 failed), total bytes,
// verified bytes, download and upload rate (bytes per second), connected
// peers, web seeds.
SWARMLET_EXPORT int32_t GetTotalDownloadStatus(uint32_t handle, uint32_t* state, uint32_t* total,
                                               uint32_t* downloaded, uint32_t* download_rate,
                                               uint32_t* upload_rate, uint32_t* peers,
                                               uint32_t* sources) {
  std::shared_ptr<Download> d = Find(handle);
  if (!d) return -1;
  if (state) *state = d->state;
  if (total) *total = d->total;
  if (downloaded) *downloaded = d->downloaded;
  if (download_rate) *download_rate = d->down_rate;
  if (upload_rate) *upload_rate = d->up_rate;
  if (peers) *peers = d->peers;
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

SWARMLET_EXPORT int32_t SetOnWarning(uint32_t, SwarmletCallback) { return 0; }  // no warnings

}  // namespace kivro
