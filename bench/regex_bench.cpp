// Searches 64 MiB of process-list-like text for AGENT[0-9]+.BIN, once with
// our engine and once with the system's regexec, and prints both times and
// their ratio. Both find every match in turn from the end of the last one.
#include <chrono>
#include <cstdio>
#include <random>
#include <string>

#include "pcroom/regex/rexi_search.h"
#include "platform/posix_regex.h"

namespace kivro {

namespace {

std::string MakeText(size_t size) {
  static const char* kNames[] = {"SVCHOST.EXE", "EXPLORER.EXE", "AGENT.BIN", "AGENTX.BIN",
                                 "CLMANAGER.EXE", "AGENT40.BIN", "NCCLIENT.EXE",
                                 "AGENT7XBIN", "WINLOGON.EXE", "A", "AG", "AGENT12345.BIN"};
  std::mt19937 rng(42);
  std::string text;
  text.reserve(size + 64);
  while (text.size() < size) {
    text += "C:\\WINDOWS\\SYSTEM32\\";
    text += kNames[rng() % 12];
    text += '\n';
  }
  text.resize(size);
  return text;
}

double Seconds(std::chrono::steady_clock::time_point since) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

}  // namespace

}  // namespace kivro

using namespace kivro;

int main() {
  const char* kPattern = "AGENT[0-9]+.BIN";
  std::string text = MakeText(size_t(64) << 20);

  REXI_Search rx;
  if (rx.SetPattern(kPattern).code != 0) return 1;
  platform::PosixRegex posix;
  if (!posix.Compile(kPattern)) return 1;

  double ours = 1e9, theirs = 1e9;
  size_t our_count = 0, their_count = 0;
  for (int round = 0; round < 3; ++round) {  // best of three
    auto t0 = std::chrono::steady_clock::now();
    const char* cursor = text.c_str();
    size_t length = 0;
    bool at_end = false;
    our_count = 0;
    while (rx.Find(cursor, length, at_end)) ++our_count;
    ours = std::min(ours, Seconds(t0));

    t0 = std::chrono::steady_clock::now();
    const char* p = text.data();
    const char* end = text.data() + text.size();
    size_t offset = 0;
    their_count = 0;
    while (p < end && posix.Search(p, end, &offset, &length)) {
      ++their_count;
      p += offset + (length ? length : 1);
    }
    theirs = std::min(theirs, Seconds(t0));
  }
  std::printf("bench_regex: 64 MiB, pattern %s\n", kPattern);
  std::printf("  REXI_Search: %zu matches, %.3f s (%.0f MiB/s)\n", our_count, ours, 64 / ours);
  std::printf("  regexec:     %zu matches, %.3f s (%.0f MiB/s)\n", their_count, theirs,
              64 / theirs);
  std::printf("  ratio regexec time / REXI_Search time: %.2f\n", theirs / ours);
  return our_count == their_count ? 0 : 2;
}
