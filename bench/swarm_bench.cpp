// bench_swarm: what the swarm engine saves the download server.
//
// nginx on loopback serves a release file (256 MiB unless --size MIB says
// otherwise) as the web seed of its .torrent. N = 1, 4 and 8 players start
// together, each `kivro-update fetch --peer` in a process of its own with a
// target folder of its own, beside the swarm engine and a settings file for
// loopback (fixed peers instead of DHT and local discovery). Printed per N:
// the bytes nginx served for the file (from its access log) divided by
// N x the file size, where plain HTTP is 1.0 (target at N = 8: at most
// 0.35); each player's wall time until its file was complete against a
// lone HTTP download of the same file by `kivro-update fetch` from the same
// server in the same run (target: at most 1.5), curl's time for reference;
// each player's peak memory, and the CPU time of all players together, in
// seconds and as processors kept busy over the round (GNU time). Players
// seed until all are complete, as launchers that still run do.
//
// Two servers: one whose uplink is shared by all players (--rate MIB per
// second, 64 by default; a relay of ours in front of nginx, see
// throttled_relay.h), the release-day bottleneck the swarm is for; and
// nginx on loopback without any limit, which outruns any swarm.
// The players talk TCP to each other, as the settings file allows: on one
// loopback, eight players' uTP takes twice TCP's processor time (a packet
// of at most 1.4 KiB per system call) and backs off, its congestion control
// reading this machine's scheduling delays as a full path. --utp measures
// with uTP on, the engine's default for players on the internet.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "bench/throttled_relay.h"
#include "platform/internet_socket.h"
#include "tools/kivro_publish_torrent.h"
#include "transfer/swarmlet_meta.h"
#include "transfer/test_support/test_servers.h"

namespace kivro {

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

double Seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

uint64_t FileSize(const std::string& path) {
  std::error_code ec;
  uint64_t size = fs::file_size(path, ec);
  return ec ? 0 : size;
}

std::string Q(const std::string& s) { return "'" + s + "'"; }

// Waits for nginx to log `at_least` bytes of `path` (5 s at most).
uint64_t Served(const kivro_test::NginxServer& nginx, const std::string& path, uint64_t at_least) {
  uint64_t served = nginx.ServedBytes(path);
  for (int i = 0; i < 500 && served < at_least; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    served = nginx.ServedBytes(path);
  }
  return served;
}

struct Round {
  int players = 0;
  bool ok = true;
  double ratio = 0;  // served / (N x size)
  std::vector<double> seconds;
  std::vector<uint64_t> peak_kib;
  double cpu_seconds = 0;  // user + system time of all players together
};

// One round: `n` players start together and seed until all are complete;
// then they are ended (by the ids of their processes).
Round Play(int n, const std::string& program, const std::string& url, uint64_t size,
           const kivro_test::NginxServer& nginx, const std::string& path,
           const kivro_test::TempDir& work) {
  Round r;
  r.players = n;
  uint64_t before = Served(nginx, path, 0);
  fs::remove_all(work.PosixPath("p"));
  fs::create_directories(work.PosixPath("p"));
  std::string command;
  for (int i = 0; i < n; ++i) {
    std::string k = std::to_string(i);
    command += "/usr/bin/time -f '%U %S %M' -o " + Q(work.PosixPath("p/mem" + k)) + " " + Q(program) +
               " fetch " + url + " " + Q(work.PosixPath("p/" + k + "/r.bin")) +
               " --peer --seed 3600 >" + Q(work.PosixPath("p/out" + k)) + " 2>&1 </dev/null & echo $! >" +
               Q(work.PosixPath("p/pid" + k)) + "; ";
  }
  command += "wait";
  auto start = Clock::now();
  std::thread players([&] { std::system(command.c_str()); });
  // The engine renames its part file when every piece is verified: the
  // file's appearance is the player's completion.
  r.seconds.assign(n, -1);
  for (int done = 0; done < n && Seconds(Clock::now() - start) < 900;) {
    for (int i = 0; i < n; ++i) {
      if (r.seconds[i] < 0 && FileSize(work.PosixPath("p/" + std::to_string(i) + "/r.bin")) == size) {
        r.seconds[i] = Seconds(Clock::now() - start);
        ++done;
      }
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  // Each pid file names the `time` process; the player is its child.
  for (int i = 0; i < n; ++i) {
    std::string pid;
    kivro_test::ReadPosixFile(work.PosixPath("p/pid" + std::to_string(i)), &pid);
    if (std::atoi(pid.c_str()) > 0)
      std::system(("pkill -TERM -P " + std::to_string(std::atoi(pid.c_str()))).c_str());
  }
  players.join();
  for (int i = 0; i < n; ++i) {
    std::string mem;
    kivro_test::ReadPosixFile(work.PosixPath("p/mem" + std::to_string(i)), &mem);
    // GNU time notes the signal on a line before the figures.
    size_t line = mem.find_last_of('\n', mem.size() > 1 ? mem.size() - 2 : 0);
    double user = 0, system = 0;
    unsigned long long kib = 0;
    std::sscanf(mem.c_str() + (line == std::string::npos ? 0 : line + 1), "%lf %lf %llu", &user, &system, &kib);
    r.peak_kib.push_back(kib);
    r.cpu_seconds += user + system;
    if (r.seconds[i] < 0) r.ok = false;
  }
  uint64_t served = Served(nginx, path, before + size) - before;
  r.ratio = static_cast<double>(served) / (static_cast<double>(n) * static_cast<double>(size));
  return r;
}

// The lone HTTP download by kivro-update fetch, best of three; curl too.
bool Lone(const std::string& program, const std::string& url, uint64_t size,
          const kivro_test::TempDir& work, double* http, double* curl) {
  *http = *curl = 1e30;
  for (int round = 0; round < 3; ++round) {
    std::string target = work.PosixPath("http/r.bin");
    fs::remove_all(work.PosixPath("http"));
    auto start = Clock::now();
    int status = std::system((Q(program) + " fetch " + url + " " + Q(target) + " >/dev/null 2>&1").c_str());
    double s = Seconds(Clock::now() - start);
    if (status == 0 && FileSize(target) == size) *http = std::min(*http, s);
    fs::remove_all(work.PosixPath("http"));
    start = Clock::now();
    status = std::system(("curl -s -o " + Q(work.PosixPath("curl.bin")) + " " + url).c_str());
    s = Seconds(Clock::now() - start);
    if (status == 0 && FileSize(work.PosixPath("curl.bin")) == size) *curl = std::min(*curl, s);
    fs::remove(work.PosixPath("curl.bin"));
  }
  return *http < 1e29;
}

void Print(const char* title, double http, double curl, const std::vector<Round>& rounds, bool targets) {
  std::printf("%s\n  lone HTTP download (kivro-update fetch): %.2f s; curl: %.2f s\n", title, http, curl);
  std::printf("  %-3s %-22s %-36s %-30s %s\n", "N", "served / (N x size)", "wall time / lone HTTP (seconds)",
              "peak memory per player (MiB)", "CPU of all players (cores busy)");
  for (const Round& r : rounds) {
    double worst = *std::max_element(r.seconds.begin(), r.seconds.end());
    double best = *std::min_element(r.seconds.begin(), r.seconds.end());
    uint64_t peak = *std::max_element(r.peak_kib.begin(), r.peak_kib.end());
    uint64_t least = *std::min_element(r.peak_kib.begin(), r.peak_kib.end());
    char times[64];
    std::snprintf(times, sizeof times, "%.2f-%.2f (%.1f-%.1f s)", best / http, worst / http, best, worst);
    char memory[64];
    std::snprintf(memory, sizeof memory, "%.1f-%.1f", least / 1024.0, peak / 1024.0);
    std::printf("  %-3d %-22.3f %-36s %-30s %.1f s (%.2f)%s\n", r.players, r.ratio, times, memory, r.cpu_seconds,
                r.cpu_seconds / worst, r.ok ? "" : "   FAILED: a player did not complete");
  }
  if (!targets) {
    std::printf("  (no targets here: no swarm outruns a server without a limit on the same loopback)\n");
    return;
  }
  const Round& eight = rounds.back();
  double worst8 = *std::max_element(eight.seconds.begin(), eight.seconds.end());
  std::printf("  targets at N = 8: served <= 0.35: %s (%.3f); wall time <= 1.5 x lone HTTP: %s (%.2f)\n",
              eight.ratio <= 0.35 ? "met" : "NOT met", eight.ratio,
              worst8 / http <= 1.5 ? "met" : "NOT met", worst8 / http);
}

}  // namespace

}  // namespace kivro

using namespace kivro;

int main(int argc, char** argv) {
  uint64_t size_mib = 256;
  int rate_mib = 64;
  bool utp = false;
  for (int i = 1; i < argc; ++i)
    if (std::strcmp(argv[i], "--utp") == 0) utp = true;
  for (int i = 1; i + 1 < argc; ++i) {
    if (std::strcmp(argv[i], "--size") == 0) size_mib = std::strtoull(argv[i + 1], nullptr, 10);
    if (std::strcmp(argv[i], "--rate") == 0) rate_mib = std::max(1, std::atoi(argv[i + 1]));
  }
  const uint64_t size = size_mib << 20;
  if (!kivro_test::NginxServer::Available() || std::system("command -v curl >/dev/null 2>&1") != 0 ||
      !fs::exists("/usr/bin/time")) {
    std::printf("bench_swarm: needs nginx, curl and /usr/bin/time; nothing measured\n");
    return 1;
  }
  kivro_test::TempDir www("swarmbenchwww"), slow("swarmbenchslow"), work("swarmbench");
  std::error_code link_error;
  if (!kivro_test::WritePatternFile(www.PosixPath("dist/r.bin"), size, 9) ||
      !fs::create_directories(slow.PosixPath("dist")) ||
      (fs::create_hard_link(www.PosixPath("dist/r.bin"), slow.PosixPath("dist/r.bin"), link_error),
       link_error)) {
    std::printf("bench_swarm: cannot write the release file\n");
    return 1;
  }
  kivro_test::NginxServer nginx;
  nginx.LogBytes();
  std::string why;
  // /limited/ is the same file, with its own .torrent and meta file (their
  // web seed is the relay's URL), reached through the relay.
  if (!nginx.Start(www.Posix(), &why, "    location /limited/ { alias " + slow.Posix() + "/; }\n")) {
    std::printf("bench_swarm: %s\n", why.c_str());
    return 1;
  }
  ThrottledRelay relay(nginx.Port(), static_cast<uint64_t>(rate_mib) << 20);
  if (!relay.Start()) {
    std::printf("bench_swarm: the relay did not start\n");
    return 1;
  }
  const std::string url = nginx.BaseUrl() + "/dist/r.bin";
  const std::string limited_url = relay.BaseUrl() + "/limited/dist/r.bin";
  for (const kivro_test::TempDir* root : {&www, &slow}) {
    std::string seed = root == &www ? url : limited_url;
    std::string torrent, error;
    if (!MakeTorrent(root->WinPath("dist/r.bin"), seed, &torrent, &error)) {
      std::printf("bench_swarm: %s\n", error.c_str());
      return 1;
    }
    kivro_test::WritePosixFile(root->PosixPath("dist/r.bin.torrent"), torrent);
    SwarmletMeta meta;
    meta.name = "r.bin";
    meta.size = size;
    meta.sources = {seed};
    meta.torrent = "r.bin.torrent";
    kivro_test::WritePosixFile(root->PosixPath("dist/r.bin.swarmlet"), WriteSwarmletMeta(meta));
  }

  // One program folder for every player: each takes the next free port
  // from the base and connects to all the others.
  uint16_t base = platform::FindFreeLoopbackPort();
  if (base > 65000) base = 40000;
  std::string settings = "listen = 127.0.0.1:" + std::to_string(base) +
                         "\nlisten_retries = 32\ndht = 0\nlsd = 0\nsame_ip_peers = 1\nstall_seconds = 60\n" +
                         (utp ? "utp = 1\n" : "utp = 0\n");
  for (int i = 0; i < 8; ++i) settings += "peer = 127.0.0.1:" + std::to_string(base + i) + "\n";
  const std::string program = work.PosixPath("bin/kivro-update");
  fs::create_directories(work.PosixPath("bin"));
  fs::copy_file(KIVRO_UPDATE_PROGRAM, program);
  fs::copy_file(KIVRO_TORRENT_ENGINE, work.PosixPath("bin/Swarmlet.dll"));
  kivro_test::WritePosixFile(work.PosixPath("bin/Swarmlet.ini"), settings);

  // Two servers: the one players meet on a release day, whose uplink is
  // the bottleneck (--rate MIB per second for all players together, the
  // relay in front of nginx), and loopback without any limit, where the
  // server outruns anything the swarm can add.
  struct Server {
    std::string title, url, path;
  };
  std::vector<Server> servers = {
      {"server with an uplink of " + std::to_string(rate_mib) + " MiB/s for all players together",
       limited_url, "/limited/dist/r.bin"},
      {"server without a limit (loopback)", url, "/dist/r.bin"},
  };
  bool ok = true;
  for (const Server& server : servers) {
    double http = 0, curl = 0;
    if (!Lone(program, server.url, size, work, &http, &curl)) {
      std::printf("bench_swarm: the lone HTTP download failed (%s)\n", server.url.c_str());
      return 1;
    }
    std::vector<Round> rounds;
    for (int n : {1, 4, 8}) rounds.push_back(Play(n, program, server.url, size, nginx, server.path, work));
    std::printf("file: %llu MiB; players talk %s; ", static_cast<unsigned long long>(size_mib), utp ? "uTP and TCP" : "TCP");
    Print(server.title.c_str(), http, curl, rounds, &server == &servers.front());
    for (const Round& r : rounds) ok &= r.ok;
  }
  return ok ? 0 : 1;
}
