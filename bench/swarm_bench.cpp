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
// lone HTTP download of the same file by `kivro-update fetch` in the same
// run (target: at most 1.5), curl's time for reference; and each player's
// peak memory (GNU time). Players keep seeding a while after completing
// (--seed), as a launcher that still runs does.
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

#include "platform/internet_socket.h"
#include "tools/kivro_publish_torrent.h"
#include "transfer/swarmlet_meta.h"
#include "transfer/test_support/test_servers.h"

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
};

}  // namespace

int main(int argc, char** argv) {
  uint64_t size_mib = 256;
  int seed_seconds = 0;
  for (int i = 1; i + 1 < argc; ++i) {
    if (std::strcmp(argv[i], "--size") == 0) size_mib = std::strtoull(argv[i + 1], nullptr, 10);
    if (std::strcmp(argv[i], "--seed") == 0) seed_seconds = std::atoi(argv[i + 1]);
  }
  const uint64_t size = size_mib << 20;
  if (!kivro_test::NginxServer::Available() || std::system("command -v curl >/dev/null 2>&1") != 0 ||
      !fs::exists("/usr/bin/time")) {
    std::printf("bench_swarm: needs nginx, curl and /usr/bin/time; nothing measured\n");
    return 1;
  }
  kivro_test::TempDir www("swarmbenchwww"), work("swarmbench");
  if (!kivro_test::WritePatternFile(www.PosixPath("dist/r.bin"), size, 9)) {
    std::printf("bench_swarm: cannot write the release file\n");
    return 1;
  }
  kivro_test::NginxServer nginx;
  nginx.LogBytes();
  std::string why;
  if (!nginx.Start(www.Posix(), &why)) {
    std::printf("bench_swarm: %s\n", why.c_str());
    return 1;
  }
  const std::string url = nginx.BaseUrl() + "/dist/r.bin";
  std::string torrent, error;
  if (!MakeTorrent(www.WinPath("dist/r.bin"), url, &torrent, &error)) {
    std::printf("bench_swarm: %s\n", error.c_str());
    return 1;
  }
  kivro_test::WritePosixFile(www.PosixPath("dist/r.bin.torrent"), torrent);
  SwarmletMeta meta;
  meta.name = "r.bin";
  meta.size = size;
  meta.sources = {url};
  meta.torrent = "r.bin.torrent";
  kivro_test::WritePosixFile(www.PosixPath("dist/r.bin.swarmlet"), WriteSwarmletMeta(meta));

  // One program folder for every player: each takes the next free port
  // from the base and connects to all the others.
  uint16_t base = platform::FindFreeLoopbackPort();
  if (base > 65000) base = 40000;
  std::string settings = "listen = 127.0.0.1:" + std::to_string(base) +
                         "\nlisten_retries = 32\ndht = 0\nlsd = 0\nsame_ip_peers = 1\nstall_seconds = 60\n";
  for (int i = 0; i < 8; ++i) settings += "peer = 127.0.0.1:" + std::to_string(base + i) + "\n";
  const std::string program = work.PosixPath("bin/kivro-update");
  fs::create_directories(work.PosixPath("bin"));
  fs::copy_file(KIVRO_UPDATE_PROGRAM, program);
  fs::copy_file(KIVRO_TORRENT_ENGINE, work.PosixPath("bin/Swarmlet.dll"));
  kivro_test::WritePosixFile(work.PosixPath("bin/Swarmlet.ini"), settings);

  // The lone HTTP download, best of three, with curl for reference.
  double http = 1e30, curl = 1e30;
  for (int round = 0; round < 3; ++round) {
    std::string target = work.PosixPath("http/r.bin");
    fs::remove_all(work.PosixPath("http"));
    auto start = Clock::now();
    int status = std::system((Q(program) + " fetch " + url + " " + Q(target) + " >/dev/null 2>&1").c_str());
    double s = Seconds(Clock::now() - start);
    if (status == 0 && FileSize(target) == size) http = std::min(http, s);
    fs::remove_all(work.PosixPath("http"));
    start = Clock::now();
    status = std::system(("curl -s -o " + Q(work.PosixPath("curl.bin")) + " " + url).c_str());
    s = Seconds(Clock::now() - start);
    if (status == 0 && FileSize(work.PosixPath("curl.bin")) == size) curl = std::min(curl, s);
    fs::remove(work.PosixPath("curl.bin"));
  }
  if (http > 1e29) {
    std::printf("bench_swarm: the lone HTTP download failed\n");
    return 1;
  }
  // Players seed until the slowest should be done: several lone downloads.
  if (seed_seconds <= 0) seed_seconds = std::max(20, static_cast<int>(http * 10));

  std::vector<Round> rounds;
  for (int n : {1, 4, 8}) {
    Round r;
    r.players = n;
    uint64_t before = Served(nginx, "/dist/r.bin", 0);
    fs::remove_all(work.PosixPath("p"));
    std::string command;
    for (int i = 0; i < n; ++i) {
      std::string k = std::to_string(i);
      command += "( /usr/bin/time -f %M -o " + Q(work.PosixPath("p/mem" + k)) + " " + Q(program) +
                 " fetch " + url + " " + Q(work.PosixPath("p/" + k + "/r.bin")) + " --peer --seed " +
                 std::to_string(seed_seconds) + " >" + Q(work.PosixPath("p/out" + k)) +
                 " 2>&1 </dev/null; echo $? >" + Q(work.PosixPath("p/code" + k)) + " ) & ";
    }
    command += "wait";
    fs::create_directories(work.PosixPath("p"));
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
    players.join();
    for (int i = 0; i < n; ++i) {
      std::string k = std::to_string(i), code, mem;
      kivro_test::ReadPosixFile(work.PosixPath("p/code" + k), &code);
      kivro_test::ReadPosixFile(work.PosixPath("p/mem" + k), &mem);
      if (std::atoi(code.c_str()) != 0 || r.seconds[i] < 0) r.ok = false;
      r.peak_kib.push_back(std::strtoull(mem.c_str(), nullptr, 10));
    }
    uint64_t served = Served(nginx, "/dist/r.bin", before + size) - before;
    r.ratio = static_cast<double>(served) / (static_cast<double>(n) * static_cast<double>(size));
    rounds.push_back(r);
  }

  std::printf("file: %llu MiB, web seed nginx on loopback; players seed %d s after completing\n",
              static_cast<unsigned long long>(size_mib), seed_seconds);
  std::printf("lone HTTP download (kivro-update fetch): %.2f s; curl: %.2f s\n", http, curl);
  std::printf("%-4s %-10s %-28s %-22s %s\n", "N", "served", "wall time / lone HTTP", "", "peak memory (MiB)");
  for (const Round& r : rounds) {
    double worst = *std::max_element(r.seconds.begin(), r.seconds.end());
    double best = *std::min_element(r.seconds.begin(), r.seconds.end());
    uint64_t peak = *std::max_element(r.peak_kib.begin(), r.peak_kib.end());
    uint64_t least = *std::min_element(r.peak_kib.begin(), r.peak_kib.end());
    std::printf("%-4d %-10.3f %.2f-%.2f (%.1f-%.1f s)%-8s %.1f-%.1f%s\n", r.players, r.ratio,
                best / http, worst / http, best, worst, "", least / 1024.0, peak / 1024.0,
                r.ok ? "" : "   FAILED: a player did not complete");
  }
  const Round& eight = rounds.back();
  double worst8 = *std::max_element(eight.seconds.begin(), eight.seconds.end());
  std::printf("targets at N = 8: served <= 0.35 of plain HTTP: %s (%.3f); wall time <= 1.5 x lone HTTP: %s (%.2f)\n",
              eight.ratio <= 0.35 ? "met" : "NOT met", eight.ratio,
              worst8 / http <= 1.5 ? "met" : "NOT met", worst8 / http);
  bool ok = true;
  for (const Round& r : rounds) ok &= r.ok;
  return ok ? 0 : 1;
}
