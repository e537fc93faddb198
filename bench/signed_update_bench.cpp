// bench_signed_update: the cost of checking signed releases.
//
// A release of 2,000 files, 256 MiB in all (incompressible bytes), is
// published with `kivro-publish --sign` and served by nginx on loopback.
// Each round, into an empty folder: a whole `kivro-update run` without a
// key, the same with `--pubkey` (manifest, signature and list checked, every
// archive hashed as it arrives), and a shell pipeline of the well-known
// tools: one `curl -K` fetching every archive over keep-alive, then one
// `unzip -qo 'dl/*.zip'`. The keyed run is measured against the unkeyed
// run beside it, round by round (the two take turns going first): this
// machine's speed changes from one minute to the next (other guests of the
// host), and a pair meets the same conditions. The median of those ratios
// is the verdict on the cost of checking; the best time of each run is
// printed too, and drives the comparison with the pipeline.
// Targets: with a key at most 1.2 times the time without; with a key at
// most 0.9 times the pipeline. KIVRO_BENCH_UPDATE names another
// kivro-update to measure instead of the one built beside it;
// KIVRO_BENCH_COMPARE one to measure as well, round by round in turn (an
// older build, to compare under the same load).
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "transfer/test_support/test_servers.h"
#include "update/sha256_stream.h"

namespace kivro {

namespace {

namespace fs = std::filesystem;

constexpr int kFiles = 2000;
constexpr uint64_t kTotal = 256ull << 20;

std::string Q(const std::string& s) { return "'" + s + "'"; }

// Wall time of a shell command; negative when it failed.
double Timed(const std::string& command) {
  auto start = std::chrono::steady_clock::now();
  int rc = std::system(command.c_str());
  double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  return rc == 0 ? s : -1;
}

int CountFiles(const fs::path& dir, const std::string& suffix) {
  int n = 0;
  std::error_code ec;
  for (const auto& e : fs::recursive_directory_iterator(dir, ec))
    if (e.is_regular_file() && e.path().string().size() >= suffix.size() &&
        e.path().string().compare(e.path().string().size() - suffix.size(), suffix.size(), suffix) == 0)
      ++n;
  return n;
}

}  // namespace

}  // namespace kivro

using namespace kivro;

int main(int argc, char** argv) {
  int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 3;
  if (!kivro_test::NginxServer::Available() || std::system("command -v curl unzip minisign >/dev/null") != 0) {
    std::printf("bench_signed_update: needs nginx, curl, unzip and minisign; nothing measured\n");
    return 0;
  }
  fs::path work = fs::temp_directory_path() /
                  ("kivro-bench-signed-" + std::to_string(std::chrono::steady_clock::now().time_since_epoch().count()));
  fs::create_directories(work / "release" / "data");
  std::string w = work.string();

  // The release: 2,000 files of incompressible bytes, 256 MiB in all.
  std::mt19937_64 random(19);
  const uint64_t each = kTotal / kFiles;
  std::string bytes(each + 8, '\0');
  for (int i = 0; i < kFiles; ++i) {
    for (size_t k = 0; k + 8 <= bytes.size(); k += 8) {
      uint64_t v = random();
      std::memcpy(&bytes[k], &v, 8);
    }
    char name[32];
    std::snprintf(name, sizeof name, "f%04d.bin", i);
    std::ofstream(work / "release" / "data" / name, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(each));
  }
  if (std::system(("cd " + Q(w) + " && minisign -G -W -p k.pub -s k.sec >/dev/null && " + Q(KIVRO_PUBLISH_PROGRAM) +
                   " release server --sign k.sec --published 1000 >/dev/null")
                      .c_str()) != 0) {
    std::printf("bench_signed_update: publishing failed\n");
    return 1;
  }
  kivro_test::NginxServer nginx;
  std::string why;
  if (!nginx.Start(w + "/server", &why)) {
    std::printf("bench_signed_update: nginx: %s\n", why.c_str());
    return 1;
  }
  std::string base = nginx.BaseUrl();
  {
    std::ofstream config(work / "curl.cfg");
    for (int i = 0; i < kFiles; ++i) {
      char name[32];
      std::snprintf(name, sizeof name, "f%04d.bin.zip", i);
      config << "url = \"" << base << "/dist/gobanvista/" << name << "\"\noutput = \"" << w << "/dl/" << name
             << "\"\n";
    }
  }
  // The kivro-update builds measured: this one (or KIVRO_BENCH_UPDATE), and
  // KIVRO_BENCH_COMPARE when set, round by round in turn so that both meet
  // the same load.
  struct Measured {
    std::string program;
    double plain = 1e30, keyed = 1e30;
    std::vector<double> paired;  // keyed / plain, round by round
  };
  std::vector<Measured> builds(1);
  const char* chosen = std::getenv("KIVRO_BENCH_UPDATE");
  builds[0].program = chosen != nullptr && *chosen != '\0' ? chosen : KIVRO_UPDATE_PROGRAM;
  if (const char* compare = std::getenv("KIVRO_BENCH_COMPARE"); compare != nullptr && *compare != '\0')
    builds.push_back({compare, 1e30, 1e30, {}});
  auto update = [&](const std::string& program, const std::string& extra) {
    return "KIVRO_ROOT=" + Q(w + "/root") + " " + Q(program) + " run --local-base " + Q(w + "/install") +
           " --list-url " + base + "/vrl/newvrl/gobanvista.vrl --url-base " + base + "/dist/gobanvista/ " + extra +
           " >/dev/null 2>&1";
  };
  const std::string pipeline = "mkdir -p " + Q(w + "/dl") + " " + Q(w + "/out") + " && curl -s -K " +
                               Q(w + "/curl.cfg") + " && cd " + Q(w + "/out") + " && unzip -qo " + Q(w + "/dl/*.zip");
  double tools = 1e30;
  bool ok = true;
  for (int r = 0; r < rounds; ++r) {
    // Each timed run starts with the earlier runs' writes on disk: the
    // kernel writes dirty pages back some 30 s after they were made, which
    // would otherwise land in whichever run is timed then.
    auto fresh = [&] {
      fs::remove_all(work / "install");
      fs::remove_all(work / "dl");
      fs::remove_all(work / "out");
      std::system("sync");
    };
    for (Measured& build : builds) {
      // The two runs of a pair take turns going first, so that neither
      // always meets what the other left behind (caches, write-back).
      double plain = -1, keyed = -1;
      for (int turn = 0; turn < 2; ++turn) {
        const bool with_key = (turn == 0) == (r % 2 == 1);
        fresh();
        double t = Timed(update(build.program, with_key ? "--pubkey " + Q(w + "/k.pub") : ""));
        ok &= t > 0 && CountFiles(work / "install", ".bin") == kFiles;
        (with_key ? keyed : plain) = t;
      }
      build.plain = std::min(build.plain, plain > 0 ? plain : 1e30);
      build.keyed = std::min(build.keyed, keyed > 0 ? keyed : 1e30);
      if (plain > 0 && keyed > 0) build.paired.push_back(keyed / plain);
    }
    fresh();
    double s = Timed(pipeline);
    ok &= s > 0 && CountFiles(work / "out", ".bin") == kFiles;
    tools = std::min(tools, s > 0 ? s : 1e30);
  }
  fs::remove_all(work);
  const double mib = static_cast<double>(kTotal) / 1048576.0;
  std::printf("release: %d files, %.0f MiB, best of %d rounds; SHA-256 from %s\n", kFiles, mib, rounds,
              Sha256Stream::Backend());
  std::printf("curl -K + unzip -qo pipeline   : %7.3f s\n", tools);
  for (const Measured& build : builds) {
    if (builds.size() > 1 || build.program != KIVRO_UPDATE_PROGRAM)
      std::printf("-- kivro-update: %s\n", build.program.c_str());
    std::printf("kivro-update run, no key       : %7.3f s  %.2fx the pipeline\n", build.plain,
                build.plain / tools);
    std::printf("kivro-update run, --pubkey     : %7.3f s  %.2fx the pipeline (target <= 0.90)\n", build.keyed,
                build.keyed / tools);
    std::printf("with key / without key         : %.2fx best against best (for reference: one lucky"
                " round moves it)\n",
                build.keyed / build.plain);
    if (!build.paired.empty()) {
      std::vector<double> sorted = build.paired;
      std::sort(sorted.begin(), sorted.end());
      size_t n = sorted.size();
      double median = n % 2 ? sorted[n / 2] : (sorted[n / 2 - 1] + sorted[n / 2]) / 2;
      std::printf("with key / without key         : %.2fx median of %zu rounds, each against the run beside it"
                  " (%.2f-%.2f; target <= 1.20: %s)\n",
                  median, n, sorted.front(), sorted.back(), median <= 1.2 ? "met" : "NOT met");
    }
  }
  if (!ok) std::printf("SOME RUNS FAILED\n");
  return ok ? 0 : 1;
}
