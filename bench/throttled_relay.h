// A relay of the benchmarks in front of a loopback server that gives all
// its clients together at most a fixed number of bytes per second: the
// download server's uplink, which loopback itself does not have (nginx's
// own limit_rate is per request and lets each request's first second pass
// at once, so it cannot model a server's bandwidth for ranged requests).
#pragma once
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "transfer/test_support/test_servers.h"

namespace kivro {

class ThrottledRelay {
 public:
  ThrottledRelay(uint16_t upstream_port, uint64_t bytes_per_second)
      : upstream_port_(upstream_port), rate_(bytes_per_second) {}

  bool Start() {
    return server_.Start([this](platform::TcpSocket* client, int) { Relay(client); });
  }
  std::string BaseUrl() const { return server_.BaseUrl(); }

 private:
  static constexpr size_t kChunk = 64 * 1024;

  // Waits until `bytes` fit in the shared budget (a token bucket holding
  // at most a tenth of a second).
  void Take(size_t bytes) {
    for (;;) {
      {
        std::lock_guard<std::mutex> lock(mutex_);
        auto now = std::chrono::steady_clock::now();
        double seconds = std::chrono::duration<double>(now - refilled_).count();
        refilled_ = now;
        tokens_ = std::min(tokens_ + seconds * static_cast<double>(rate_), rate_ / 10.0);
        if (tokens_ >= static_cast<double>(bytes)) {
          tokens_ -= static_cast<double>(bytes);
          return;
        }
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
  }

  void Relay(platform::TcpSocket* client) {
    platform::TcpSocket upstream;
    if (!upstream.Connect("127.0.0.1", upstream_port_, 5000)) return;
    std::atomic<bool> done{false};
    // Requests go up unthrottled; the bodies come down within the budget.
    std::thread up([&] {
      std::vector<char> buffer(kChunk);
      while (!done) {
        int64_t got = client->Receive(buffer.data(), buffer.size(), 200);
        if (got == 0 || (got > 0 && !upstream.SendAll(buffer.data(), static_cast<size_t>(got), 5000))) break;
      }
      done = true;
      upstream.ShutdownBoth();
    });
    std::vector<char> buffer(kChunk);
    while (!done) {
      int64_t got = upstream.Receive(buffer.data(), buffer.size(), 200);
      if (got == 0) break;
      if (got < 0) continue;
      Take(static_cast<size_t>(got));
      if (!client->SendAll(buffer.data(), static_cast<size_t>(got), 5000)) break;
    }
    done = true;
    client->ShutdownBoth();
    up.join();
  }

  kivro_test::ScriptedServer server_;
  uint16_t upstream_port_;
  double rate_;
  std::mutex mutex_;
  double tokens_ = 0;
  std::chrono::steady_clock::time_point refilled_ = std::chrono::steady_clock::now();
};

}  // namespace kivro
