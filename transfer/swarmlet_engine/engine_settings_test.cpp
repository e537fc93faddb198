#include "transfer/swarmlet_engine/engine_settings.h"

#include <gtest/gtest.h>

namespace kivro {

namespace {

bool Read(const std::string& text, SwarmletSettings* s, std::string* why = nullptr) {
  return ReadSwarmletSettings(text.data(), text.size(), s, why);
}

TEST(SwarmletSettings, DefaultsAreForPlayersOnTheInternet) {
  SwarmletSettings s;
  ASSERT_TRUE(Read("", &s));
  EXPECT_TRUE(s.dht);
  EXPECT_TRUE(s.lsd);
  EXPECT_FALSE(s.upnp);
  EXPECT_FALSE(s.natpmp);
  EXPECT_FALSE(s.same_ip_peers);
  EXPECT_TRUE(s.utp);
  EXPECT_EQ(s.seed_seconds, -1);
  EXPECT_EQ(s.stall_seconds, 10);
  EXPECT_GT(s.listen_retries, 0);
}

TEST(SwarmletSettings, ReadsEveryKeyWithCommentsBlanksAndCrLf) {
  SwarmletSettings s;
  std::string why;
  ASSERT_TRUE(Read("# loopback\r\n; also a comment\r\n\r\n  listen = 127.0.0.1:0  \r\ndht=0\r\n"
                   "lsd = off\nupnp = 1\nnatpmp = yes\nsame_ip_peers = true\nutp = 0\n"
                   "peer = 127.0.0.1:7001\npeer = [::1]:7002\nseed_seconds = 0\n"
                   "stall_seconds = 3\nweb_seed_retry_seconds = 1\nlisten_retries = 0\n",
                   &s, &why))
      << why;
  EXPECT_EQ(s.listen, "127.0.0.1:0");
  EXPECT_FALSE(s.dht);
  EXPECT_FALSE(s.lsd);
  EXPECT_TRUE(s.upnp);
  EXPECT_TRUE(s.natpmp);
  EXPECT_TRUE(s.same_ip_peers);
  EXPECT_FALSE(s.utp);
  EXPECT_EQ(s.peers, (std::vector<std::string>{"127.0.0.1:7001", "[::1]:7002"}));
  EXPECT_EQ(s.seed_seconds, 0);
  EXPECT_EQ(s.stall_seconds, 3);
  EXPECT_EQ(s.web_seed_retry_seconds, 1);
  EXPECT_EQ(s.listen_retries, 0);
}

TEST(SwarmletSettings, AFaultyFileChangesNothingAndSaysWhere) {
  SwarmletSettings s;
  std::string why;
  EXPECT_FALSE(Read("dht = 0\nstall_seconds = soon\n", &s, &why));
  EXPECT_EQ(why, "line 2: bad value of stall_seconds");
  EXPECT_TRUE(s.dht);  // the good first line was not applied either
  EXPECT_FALSE(Read("dth = 0\n", &s, &why));
  EXPECT_EQ(why, "line 1: unknown key \"dth\"");
  EXPECT_FALSE(Read("dht\n", &s, &why));
  EXPECT_FALSE(Read("dht = maybe\n", &s));
  EXPECT_FALSE(Read("stall_seconds = 0\n", &s));  // never a download that fails at once
  EXPECT_FALSE(Read("seed_seconds = -2\n", &s));
  EXPECT_FALSE(Read("stall_seconds = 99999999999\n", &s));
  EXPECT_FALSE(Read("listen = 0.0.0.0:6881 ; rm\n", &s));
  EXPECT_FALSE(Read(std::string("dht = 0\0\n", 9), &s));
  EXPECT_FALSE(Read(std::string(kSwarmletSettingsMaxBytes + 1, '#'), &s));
  std::string many;
  for (size_t i = 0; i <= kSwarmletSettingsMaxPeers; ++i) many += "peer = 10.0.0.1:1\n";
  EXPECT_FALSE(Read(many, &s));
}

TEST(SwarmletSettings, PeersAreAddressesWithPorts) {
  std::string address;
  uint16_t port = 0;
  ASSERT_TRUE(SplitSwarmletPeer("192.168.0.7:6881", &address, &port));
  EXPECT_EQ(address, "192.168.0.7");
  EXPECT_EQ(port, 6881);
  ASSERT_TRUE(SplitSwarmletPeer("[fe80::1]:1", &address, &port));
  EXPECT_EQ(address, "fe80::1");
  for (const char* bad : {"host.example:6881", "1.2.3.4", "1.2.3.4:0", "1.2.3.4:65536", "1.2.3:5",
                          "1.2.3.256:5", "[::1:5", "::1:5", ":5", "1.2.3.4:-1", "1.2.3.4:"})
    EXPECT_FALSE(SplitSwarmletPeer(bad, &address, &port)) << bad;
}

}  // namespace

}  // namespace kivro
