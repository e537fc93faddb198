// The real launcher, headless, built with the test release key: a signed
// release installs and the game starts; the same release with one archive
// replaced, or served without its signature, installs nothing and the game
// does not start; with a mirror built in, the good copy on the second host
// is taken instead of the tampered one on the first.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "launcher/launcher_e2e_support.h"
#include "transfer/test_support/test_servers.h"

namespace kivro {

namespace {

namespace fs = std::filesystem;
using launcher_e2e::DemoWorld;
using launcher_e2e::Quote;
using launcher_e2e::ReadFile;
using launcher_e2e::Shell;

class SignedLauncher : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!kivro_test::NginxServer::Available()) GTEST_SKIP() << "nginx is not installed";
  }
  bool PublishSigned(const std::string& version, const std::string& previous, int published) {
    return world_.Publish(version, previous,
                          "--sign " + Quote(std::string(KIVRO_TEST_KEY_DIR) + "/release_test.sec") +
                              " --published " + std::to_string(published));
  }
  // Runs the launcher as the plug-in starts it, with `hosts` as its
  // built-in download hosts; answers its output.
  std::string RunLauncher(const std::string& hosts) {
    std::string out = world_.Dir() + "/launcher.out";
    Shell("cd " + Quote(world_.Dir()) + " && env -u DISPLAY -u WAYLAND_DISPLAY -u KIVRO_WINDIR " +
          "KIVRO_GUI=offscreen KIVRO_TEST_LAUNCHER_HOSTS=" + hosts + " KIVRO_ROOT=" +
          Quote(world_.Root()) + " timeout 120 " + Quote(KIVRO_SIGNED_LAUNCHER_PROGRAM) +
          " 'Zelmora://start' > " + Quote(out) + " 2>&1");
    return ReadFile(out);
  }
  static std::string Host(const kivro_test::NginxServer& s) {
    return "127.0.0.1:" + std::to_string(s.Port());
  }
  void SwapBytes(const std::string& path) {
    std::string data = ReadFile(path);
    size_t i = data.size() / 2;
    while (i + 1 < data.size() && data[i] == data[i + 1]) ++i;
    ASSERT_LT(i + 1, data.size());
    std::swap(data[i], data[i + 1]);
    std::ofstream(path, std::ios::binary | std::ios::trunc) << data;
  }
  DemoWorld world_;
};

TEST_F(SignedLauncher, ASignedReleaseStartsTheGameATamperedOneDoesNot) {
  ASSERT_TRUE(PublishSigned("1.0", "", 1000));
  kivro_test::NginxServer server;
  std::string why;
  ASSERT_TRUE(server.Start(world_.Server(), &why)) << why;

  std::string out = RunLauncher(Host(server));
  EXPECT_NE(out.find("SUCCEED TO UPDATE"), std::string::npos) << out;
  ASSERT_TRUE(world_.WaitForGameStarts(1, 10000)) << out;

  // Release 2.0 with one archive replaced by bytes of the same size and sum.
  ASSERT_TRUE(PublishSigned("2.0", "1.0", 2000));
  SwapBytes(world_.Server() + "/dist/gobanvista/schedule.txt.zip");
  out = RunLauncher(Host(server));
  EXPECT_NE(out.find("FAIL TO UPDATE"), std::string::npos) << out;
  EXPECT_FALSE(world_.WaitForGameStarts(2, 2000)) << out;
  EXPECT_FALSE(fs::exists(world_.Install() + "/data/schedule.txt"));
  EXPECT_TRUE(fs::exists(world_.Install() + "/data/notice_old.txt"));  // no removal

  // The same release served without its signature.
  fs::rename(world_.Server() + "/vrl/newvrl/gobanvista.vrl.manifest.minisig", world_.Dir() + "/kept.minisig");
  out = RunLauncher(Host(server));
  EXPECT_NE(out.find("FAIL TO CHECK UPDATE INFO"), std::string::npos) << out;
  EXPECT_FALSE(world_.WaitForGameStarts(2, 2000)) << out;
  fs::rename(world_.Dir() + "/kept.minisig", world_.Server() + "/vrl/newvrl/gobanvista.vrl.manifest.minisig");

  // A mirror built in after the tampering host: the archive comes from it.
  ASSERT_TRUE(PublishSigned("2.0", "1.0", 2000));  // intact again, for the mirror
  std::string good = world_.Dir() + "/server-good";
  fs::copy(world_.Server(), good, fs::copy_options::recursive);
  SwapBytes(world_.Server() + "/dist/gobanvista/schedule.txt.zip");
  kivro_test::NginxServer mirror;
  ASSERT_TRUE(mirror.Start(good, &why)) << why;
  out = RunLauncher(Host(server) + "," + Host(mirror));
  EXPECT_NE(out.find("SUCCEED TO UPDATE"), std::string::npos) << out;
  ASSERT_TRUE(world_.WaitForGameStarts(2, 10000)) << out;
  EXPECT_EQ(ReadFile(world_.Install() + "/data/schedule.txt"), "Tonight: the Myeongin final, game 3.\n");
  EXPECT_FALSE(fs::exists(world_.Install() + "/data/notice_old.txt"));
}

}  // namespace

}  // namespace kivro
