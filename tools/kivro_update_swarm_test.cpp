// Three players fetch one file with `kivro-update fetch --peer` and the
// swarm engine, each a process of its own with a folder of its own, while
// the web seed serves only the first 256 KiB of every connection and then
// closes: they complete from each other, byte for byte the file, and the
// web seed serves well under three times the file.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <string>

#include "platform/testing/host_command.h"
#include "tools/kivro_publish_torrent.h"
#include "tools/kivro_update_swarm_support.h"
#include "transfer/swarmlet_meta.h"
#include "transfer/test_support/test_servers.h"

namespace kivro {

#ifdef KIVRO_TORRENT_ENGINE

namespace {

using kivro_test::TempDir;

constexpr uint64_t kConnectionBudget = 256 * 1024;

// A web seed that answers ranged GETs of one file with 206 and keeps
// connections alive, but closes each connection after 256 KiB of body.
class StingySeed {
 public:
  explicit StingySeed(std::string content) : content_(std::move(content)) {}
  bool Start() {
    return server_.Start([this](platform::TcpSocket* connection, int) { Serve(connection); });
  }
  std::string Url() const { return server_.BaseUrl() + "/dist/s.zip"; }
  uint64_t Served() const { return served_.load(); }

 private:
  void Serve(platform::TcpSocket* connection) {
    uint64_t sent = 0;
    std::string head;
    while (sent < kConnectionBudget && kivro_test::ReadRequestHead(connection, &head, 20000)) {
      uint64_t first = 0, last = content_.size() - 1;
      size_t range = head.find("Range: bytes=");
      if (range != std::string::npos) {
        char* end = nullptr;
        first = std::strtoull(head.c_str() + range + 13, &end, 10);
        if (*end == '-' && end[1] >= '0' && end[1] <= '9') last = std::strtoull(end + 1, nullptr, 10);
      }
      if (head.compare(0, 16, "GET /dist/s.zip ") != 0 || first > last || last >= content_.size()) {
        connection->SendAll(std::string("HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\n\r\n"), 5000);
        continue;
      }
      uint64_t length = last - first + 1;
      std::string reply = "HTTP/1.1 206 Partial Content\r\nContent-Length: " + std::to_string(length) +
                          "\r\nContent-Range: bytes " + std::to_string(first) + "-" +
                          std::to_string(last) + "/" + std::to_string(content_.size()) + "\r\n\r\n";
      if (!connection->SendAll(reply, 5000)) return;
      uint64_t body = std::min(length, kConnectionBudget - sent);
      if (!connection->SendAll(content_.data() + first, body, 5000)) return;
      sent += body;
      served_ += body;
    }
  }

  std::string content_;
  kivro_test::ScriptedServer server_;
  std::atomic<uint64_t> served_{0};
};

TEST(SwarmOfThree, PlayersCompleteFromEachOtherWhenTheWebSeedGivesLittle) {
  if (!kivro_test::NginxServer::Available()) GTEST_SKIP() << "nginx is not installed";
  const uint64_t size = 4 * 1024 * 1024;
  std::string content = kivro_test::PatternBytes(size, 77);
  TempDir www("swarmwww");
  ASSERT_TRUE(kivro_test::WritePosixFile(www.PosixPath("dist/s.zip"), content));
  StingySeed seed(content);
  ASSERT_TRUE(seed.Start());

  // nginx serves the meta file and the .torrent; the file itself only
  // comes from the stingy web seed and the other players.
  kivro_test::NginxServer nginx;
  std::string why;
  ASSERT_TRUE(nginx.Start(www.Posix(), &why)) << why;
  std::string torrent, error;
  ASSERT_TRUE(MakeTorrent(www.WinPath("dist/s.zip"), seed.Url(), &torrent, &error)) << error;
  ASSERT_TRUE(kivro_test::WritePosixFile(www.PosixPath("dist/s.zip.torrent"), torrent));
  SwarmletMeta meta;
  meta.name = "s.zip";
  meta.size = size;
  meta.sources = {seed.Url()};
  meta.torrent = "s.zip.torrent";
  ASSERT_TRUE(kivro_test::WritePosixFile(www.PosixPath("dist/s.zip.swarmlet"), WriteSwarmletMeta(meta)));

  // Each player listens on a port of its own and knows the others'.
  uint16_t ports[3];
  for (uint16_t& p : ports) p = platform::FindFreeLoopbackPort();
  TempDir folders[3] = {TempDir("player"), TempDir("player"), TempDir("player")};
  TempDir scratch("swarmrun");
  std::string command;
  for (int i = 0; i < 3; ++i) {
    std::string settings = "listen = 127.0.0.1:" + std::to_string(ports[i]) +
                           "\nlisten_retries = 0\ndht = 0\nlsd = 0\nsame_ip_peers = 1\n"
                           "web_seed_retry_seconds = 2\nstall_seconds = 30\n";
    for (int j = 0; j < 3; ++j)
      if (j != i) settings += "peer = 127.0.0.1:" + std::to_string(ports[j]) + "\n";
    std::string program = PlaceProgram(folders[i], KIVRO_TORRENT_ENGINE, settings);
    std::string n = std::to_string(i);
    // Each seeds a while after completing, so that slower players still
    // find it.
    command += "( " + kivro_test::HostProgram(program) + " fetch " + nginx.BaseUrl() + "/dist/s.zip '" +
               folders[i].PosixPath("game/s.zip") + "' --peer --seed 8 >'" +
               scratch.PosixPath("out" + n) + "' 2>&1 </dev/null; echo $? >'" +
               scratch.PosixPath("code" + n) + "' ) & ";
  }
  command += "wait";
  ASSERT_EQ(platform::RunHostCommand(command), 0);

  for (int i = 0; i < 3; ++i) {
    SCOPED_TRACE("player " + std::to_string(i));
    std::string code, output, got;
    kivro_test::ReadPosixFile(scratch.PosixPath("code" + std::to_string(i)), &code);
    kivro_test::ReadPosixFile(scratch.PosixPath("out" + std::to_string(i)), &output);
    EXPECT_EQ(std::atoi(code.c_str()), 0) << output;
    ASSERT_TRUE(kivro_test::ReadPosixFile(folders[i].PosixPath("game/s.zip"), &got));
    EXPECT_TRUE(got == content) << "the file differs";
  }
  // Alone, each would have needed the whole file from the web seed.
  EXPECT_LT(seed.Served(), 2 * size) << "served " << seed.Served();
}

}  // namespace

#endif

}  // namespace kivro
