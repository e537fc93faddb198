// `kivro-update run` against nginx: a whole update of the sample game into
// an empty folder, nothing to do the second time, an incremental update with
// HTTP resume, and the exit codes of failures and wrong arguments.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "launcher/launcher_e2e_support.h"
#include "transfer/test_support/test_servers.h"

namespace kivro {

namespace {

using launcher_e2e::DemoWorld;
using launcher_e2e::Quote;
using launcher_e2e::ReadFile;
using launcher_e2e::Shell;

class KivroUpdateRun : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!kivro_test::NginxServer::Available()) GTEST_SKIP() << "nginx is not installed";
#if defined(_WIN32)
    // Where a player's installer puts the game: the machine's own drive (of
    // the private Wine prefix under test), cleared before and after.
    install_ = "C:\\Zelmora\\KOREAN\\Gobanvista";
    std::error_code ignored;
    std::filesystem::remove_all("C:\\Zelmora", ignored);
#else
    install_ = world_.Dir() + "/install";
#endif
  }
  void TearDown() override {
#if defined(_WIN32)
    std::error_code ignored;
    std::filesystem::remove_all("C:\\Zelmora", ignored);
#endif
  }
  // Runs the tool with `args`; answers its exit code, output in `out_`.
  int Run(const std::string& args) {
    std::string file = world_.Dir() + "/run.out";
    int code = Shell("timeout 120 " + Quote(KIVRO_UPDATE_PROGRAM) + " run " + args + " > " + Quote(file) + " 2>&1");
    out_ = ReadFile(file);
    // A Windows console program's text output ends its lines in "\r\n".
    for (size_t at; (at = out_.find("\r\n")) != std::string::npos;) out_.erase(at, 1);
    return code;
  }
  std::string Standard(const std::string& base) {
    return "--local-base " + Quote(install_) + " --list-url " + base + "/vrl/newvrl/gobanvista.vrl --url-base " +
           base + "/dist/gobanvista/";
  }
  DemoWorld world_;
  std::string install_;
  std::string out_;
};

TEST_F(KivroUpdateRun, InstallsThenFindsNothingThenUpdatesWithResume) {
  ASSERT_TRUE(world_.Publish("1.0", ""));
  kivro_test::NginxServer server;
  std::string why;
  ASSERT_TRUE(server.Start(world_.Server(), &why)) << why;

  ASSERT_EQ(Run(Standard(server.BaseUrl())), 0) << out_;
  EXPECT_NE(out_.find("fetching "), std::string::npos) << out_;
  EXPECT_NE(out_.find("installed 8/8\n"), std::string::npos) << out_;
  EXPECT_NE(out_.find("updated\n"), std::string::npos) << out_;
  EXPECT_EQ(ReadFile(install_ + "/data/openings.dat"), ReadFile(world_.Dir() + "/release-1.0/data/openings.dat"));
  EXPECT_EQ(ReadFile(install_ + "/Gobanvista.exe"), ReadFile(world_.Dir() + "/release-1.0/Gobanvista.exe"));
  EXPECT_TRUE(std::ifstream(install_ + "/gobanvista.vrl").good());  // the list beside the files

  ASSERT_EQ(Run(Standard(server.BaseUrl())), 0) << out_;
  EXPECT_NE(out_.find("nothing to update\n"), std::string::npos) << out_;

  ASSERT_TRUE(world_.Publish("2.0", "1.0"));
  ASSERT_EQ(Run(Standard(server.BaseUrl()) + " --method 3 --sequential --verify exe:0x111"), 0) << out_;
  EXPECT_EQ(ReadFile(install_ + "/data/schedule.txt"), "Tonight: the Myeongin final, game 3.\n");
  EXPECT_FALSE(std::ifstream(install_ + "/data/notice_old.txt").good());
  EXPECT_EQ(out_.find("openings.dat"), std::string::npos) << out_;  // unchanged: not fetched

  ASSERT_EQ(Run(Standard(server.BaseUrl())), 0) << out_;
  EXPECT_NE(out_.find("nothing to update\n"), std::string::npos) << out_;
}

TEST_F(KivroUpdateRun, FailuresEndWithTheirCodes) {
  kivro_test::NginxServer server;
  std::string why;
  ASSERT_TRUE(server.Start(world_.Server(), &why)) << why;
  // Nothing published: the check fails.
  EXPECT_EQ(Run(Standard(server.BaseUrl())), 2) << out_;
  EXPECT_NE(out_.find("FAIL TO CHECK UPDATE INFO"), std::string::npos) << out_;

  // A damaged archive: the update fails with result 5.
  ASSERT_TRUE(world_.Publish("1.0", ""));
  ASSERT_EQ(Shell("truncate -s 40 " + Quote(world_.Server() + "/dist/gobanvista/rules.txt.zip")), 0);
  EXPECT_EQ(Run(Standard(server.BaseUrl())), 5) << out_;
}

TEST_F(KivroUpdateRun, WrongArgumentsAreUsageErrors) {
  EXPECT_EQ(Run("--list-url http://127.0.0.1:1/a.vrl --url-base http://127.0.0.1:1/"), 2);
  EXPECT_NE(out_.find("usage: kivro-update run"), std::string::npos) << out_;
  EXPECT_EQ(Run(Standard("http://127.0.0.1:1") + " --method 7"), 2);
  EXPECT_EQ(Run(Standard("http://127.0.0.1:1") + " --verify exe"), 2);
  EXPECT_EQ(Run(Standard("http://127.0.0.1:1") + " --verify exe:banana"), 2);
  EXPECT_EQ(Run(Standard("http://127.0.0.1:1") + " --frobnicate"), 2);
  EXPECT_EQ(Run("--help"), 0);
}

}  // namespace

}  // namespace kivro
