// bench_transfer: download throughput and memory of CNet against curl.
//
// A file (512 MiB unless --size MIB says otherwise) is served by nginx on a
// loopback port. In the same run, each round fetches it with
// `curl -s -o FILE`, with method 1 (whole URL) and with method 3 (HTTP with
// resume), each in a child process of its own (the child reports its peak
// resident memory). The best time of each over the rounds is compared.
// Targets: both methods reach at least 0.8 times curl's throughput, and a
// download's peak memory stays under 16 MiB whatever the file size (shown
// for a small and the large file).
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "platform/internet_measure.h"
#include "platform/paths.h"
#include "transfer/net.h"
#include "transfer/test_support/test_servers.h"

namespace kivro {

namespace {

constexpr double kMiB = 1048576.0;
constexpr uint64_t kMemoryLimit = 16ull << 20;

// Child: one download with CNet, then "result R peak P" on stdout.
int Child(int method, const std::string& url, const std::string& host, int port,
          const std::string& posix_path) {
  CNet net;
  std::string local = platform::ToWindowsPath(posix_path);
  int32_t r = method == 1 ? net.OpenUrlSession("LAUNCHER")
                          : net.ConnectHttp("LAUNCHER", host.c_str(), "", "", port);
  if (r == 0) {
    r = method == 1 ? net.DownloadUrl(local.c_str(), url.c_str(), 0)
                    : net.DownloadHttp(local.c_str(), url.c_str(), 0);
  }
  std::printf("result %d peak %llu\n", static_cast<int>(r),
              static_cast<unsigned long long>(platform::PeakResidentBytes()));
  return r == 0 ? 0 : 1;
}

double Seconds(std::chrono::steady_clock::duration d) {
  return std::chrono::duration<double>(d).count();
}

uint64_t FileSize(const std::string& path) {
  std::error_code ec;
  uint64_t size = std::filesystem::file_size(path, ec);
  return ec ? 0 : size;
}

struct Outcome {
  double seconds = 1e30;
  uint64_t peak = 0;
  bool ok = true;
};

// Runs a shell command, timing it; for our children reads back the report.
bool Timed(const std::string& command, const std::string& report, double* seconds, uint64_t* peak) {
  auto start = std::chrono::steady_clock::now();
  int status = std::system(command.c_str());
  *seconds = Seconds(std::chrono::steady_clock::now() - start);
  if (status != 0) return false;
  if (!report.empty()) {
    std::ifstream in(report);
    std::string word;
    int result = -1;
    unsigned long long p = 0;
    in >> word >> result >> word >> p;
    *peak = p;
    return result == 0;
  }
  return true;
}

}  // namespace

}  // namespace kivro

using namespace kivro;

int main(int argc, char** argv) {
  if (argc >= 7 && std::strcmp(argv[1], "--child") == 0)
    return Child(std::atoi(argv[2]), argv[3], argv[4], std::atoi(argv[5]), argv[6]);

  uint64_t size_mib = 512;
  for (int i = 1; i + 1 < argc; ++i)
    if (std::strcmp(argv[i], "--size") == 0) size_mib = std::strtoull(argv[i + 1], nullptr, 10);
  const uint64_t size = size_mib << 20;
  const std::string self = std::filesystem::canonical("/proc/self/exe").string();

  if (!kivro_test::NginxServer::Available()) {
    std::printf("bench_transfer: nginx is not installed, nothing measured\n");
    return 1;
  }
  if (std::system("command -v curl >/dev/null 2>&1") != 0) {
    std::printf("bench_transfer: curl is not installed, nothing measured\n");
    return 1;
  }
  kivro_test::TempDir www("benchwww"), out("benchout");
  if (!kivro_test::WritePatternFile(www.PosixPath("big.bin"), size, 5) ||
      !kivro_test::WritePatternFile(www.PosixPath("small.bin"), 16 << 20, 6)) {
    std::printf("bench_transfer: cannot write the test files\n");
    return 1;
  }
  kivro_test::NginxServer nginx;
  std::string why;
  if (!nginx.Start(www.Posix(), &why)) {
    std::printf("bench_transfer: %s\n", why.c_str());
    return 1;
  }
  const std::string url = nginx.BaseUrl() + "/big.bin";
  const std::string small_url = nginx.BaseUrl() + "/small.bin";
  const std::string target = out.PosixPath("big.bin");
  const std::string report = out.PosixPath("report.txt");
  auto child = [&](int method, const std::string& u, const std::string& path) {
    return "'" + self + "' --child " + std::to_string(method) + " '" + u + "' 127.0.0.1 " +
           std::to_string(nginx.Port()) + " '" + path + "' >'" + report + "'";
  };
  auto clean = [&] {
    std::error_code ec;
    std::filesystem::remove(target, ec);
    std::filesystem::remove(target + ".dwn", ec);
  };

  Outcome curl, m1, m3;
  const int rounds = 3;
  for (int round = 0; round < rounds; ++round) {
    double s = 0;
    uint64_t peak = 0;
    clean();
    bool ok = Timed("curl -s -o '" + target + "' '" + url + "'", "", &s, &peak) && FileSize(target) == size;
    curl.ok &= ok;
    curl.seconds = std::min(curl.seconds, s);
    clean();
    ok = Timed(child(1, url, target), report, &s, &peak) && FileSize(target) == size;
    m1.ok &= ok;
    m1.seconds = std::min(m1.seconds, s);
    m1.peak = std::max(m1.peak, peak);
    clean();
    ok = Timed(child(3, url, target), report, &s, &peak) && FileSize(target) == size;
    m3.ok &= ok;
    m3.seconds = std::min(m3.seconds, s);
    m3.peak = std::max(m3.peak, peak);
  }
  clean();
  // Peak memory of a small download, to show it does not grow with the size.
  double s = 0;
  uint64_t small_peak1 = 0, small_peak3 = 0;
  bool small_ok = Timed(child(1, small_url, out.PosixPath("small.bin")), report, &s, &small_peak1);
  std::error_code ec;
  std::filesystem::remove(out.PosixPath("small.bin"), ec);
  small_ok &= Timed(child(3, small_url, out.PosixPath("small.bin")), report, &s, &small_peak3);

  const double mib = static_cast<double>(size) / kMiB;
  auto rate = [&](const Outcome& o) { return mib / o.seconds; };
  double r1 = curl.seconds / m1.seconds;
  double r3 = curl.seconds / m3.seconds;
  std::printf("file: %.0f MiB from nginx on loopback, best of %d rounds\n", mib, rounds);
  std::printf("curl -s -o FILE      : %7.3f s  %8.1f MiB/s%s\n", curl.seconds, rate(curl),
              curl.ok ? "" : "  (FAILED)");
  std::printf("CNet method 1 (URL)  : %7.3f s  %8.1f MiB/s  ratio vs curl %.2fx  peak %.1f MiB%s\n",
              m1.seconds, rate(m1), r1, m1.peak / kMiB, m1.ok ? "" : "  (FAILED)");
  std::printf("CNet method 3 (HTTP) : %7.3f s  %8.1f MiB/s  ratio vs curl %.2fx  peak %.1f MiB%s\n",
              m3.seconds, rate(m3), r3, m3.peak / kMiB, m3.ok ? "" : "  (FAILED)");
  std::printf("peak memory of a 16 MiB download: method 1 %.1f MiB, method 3 %.1f MiB%s\n",
              small_peak1 / kMiB, small_peak3 / kMiB, small_ok ? "" : "  (FAILED)");
  bool speed = r1 >= 0.8 && r3 >= 0.8;
  bool memory = m1.peak < kMemoryLimit && m3.peak < kMemoryLimit && small_peak1 < kMemoryLimit &&
                small_peak3 < kMemoryLimit;
  bool ok = curl.ok && m1.ok && m3.ok && small_ok;
  std::printf("target throughput >= 0.8x curl: %s; target peak memory < 16 MiB: %s\n",
              speed ? "met" : "NOT met", memory ? "met" : "NOT met");
  return ok && speed && memory ? 0 : 1;
}
