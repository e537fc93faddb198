// The real KIVROInstaller, headless, against nginx: it installs release 1.0
// of the sample game on an empty machine and starts it, applies release 2.0
// fetching only what changed and starts it again, and with nothing new
// starts the game at once.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "launcher/launcher_e2e_fixture.h"

namespace kivro {

namespace {

using launcher_e2e::DemoServer;
using launcher_e2e::DemoWorld;
using launcher_e2e::Quote;
using launcher_e2e::ReadFile;
using launcher_e2e::Shell;

// Runs the launcher without a display, as the plug-in starts it (with its
// whole URL, which must change nothing); answers its exit code and output.
int RunLauncher(const DemoWorld& world, std::string* output) {
  std::string out = world.Dir() + "/launcher.out";
  std::string cmd = "cd " + Quote(world.Dir()) + " && env -u DISPLAY -u WAYLAND_DISPLAY -u KIVRO_WINDIR " +
                    "KIVRO_GUI=offscreen KIVRO_ROOT=" + Quote(world.Root()) + " timeout 120 " +
                    Quote(KIVRO_LAUNCHER_PROGRAM) + " 'Zelmora://start?game=gobanvista&user=kim' > " +
                    Quote(out) + " 2>&1";
  int code = Shell(cmd);
  *output = ReadFile(out);
  return code;
}

std::vector<std::string> Sorted(std::vector<std::string> v) {
  std::sort(v.begin(), v.end());
  return v;
}

using LauncherEndToEnd = launcher_e2e::LoopbackLauncherTest;

TEST_F(LauncherEndToEnd, InstallsUpdatesAndStartsTheSampleGame) {
  DemoWorld world;
  ASSERT_TRUE(world.Publish("1.0", ""));
  DemoServer server;
  std::string why;
  ASSERT_TRUE(server.Start(world.Dir(), world.Server(), host_.port, "", &why)) << why;

  // 1. An empty machine: everything is fetched and installed, the game starts.
  std::string out;
  ASSERT_EQ(RunLauncher(world, &out), 0) << out;
  ASSERT_TRUE(world.WaitForGameStarts(1, 10000)) << out;
  EXPECT_NE(ReadFile(world.Install() + "/started.log").find("Gobanvista 1.0 started in " + world.Install()),
            std::string::npos);
  EXPECT_EQ(ReadFile(world.Install() + "/data/openings.dat"),
            ReadFile(world.Dir() + "/release-1.0/data/openings.dat"));
  EXPECT_EQ(ReadFile(world.Install() + "/Gobanvista.exe"), ReadFile(world.Dir() + "/release-1.0/Gobanvista.exe"));
  EXPECT_EQ(Shell(Quote(KIVRO_NPK_PROGRAM) + " cat " + Quote(world.Install() + "/stones.npk") +
                  " black.stn | grep -q stone-black-v1"),
            0);
  // Progress as plain lines (the output is not a terminal), then the result.
  EXPECT_NE(out.find("Fetching C:\\Zelmora\\KOREAN\\Gobanvista\\data\\openings.dat.zip\n"), std::string::npos) << out;
  EXPECT_NE(out.find("\xED\x94\x84\xEB\xA1\x9C\xEA\xB7\xB8\xEB\x9E\xA8 \xEC\x84\xA4\xEC\xB9\x98 \xEC\xA4\x91 [8/8]\n"),
            std::string::npos)
      << out;  // "프로그램 설치 중 [8/8]"
  EXPECT_NE(out.find("SUCCEED TO UPDATE\n"), std::string::npos) << out;
  EXPECT_EQ(out.find('\r'), std::string::npos);
  server.TakeRequests();

  // 2. Release 2.0: only the changed files and entities are fetched.
  ASSERT_TRUE(world.Publish("2.0", "1.0"));
  ASSERT_EQ(RunLauncher(world, &out), 0) << out;
  ASSERT_TRUE(world.WaitForGameStarts(2, 10000)) << out;
  EXPECT_NE(ReadFile(world.Install() + "/started.log").find("Gobanvista 2.0 started"), std::string::npos);
  std::vector<std::string> expected = {
      "GET /vrl/newvrl/gobanvista.vrl",
      "GET /dist/gobanvista//Gobanvista.exe.zip",
      "GET /dist/gobanvista//schedule.txt.zip",
      "GET /dist/gobanvista//version.txt.zip",
      "GET /dist/gobanvista//welcome.txt.zip",
      "GET /dist/gobanvista//__npk_entity/stones.npk_npk/black.stn.zip",
      "GET /dist/gobanvista//__npk_entity/stones.npk_npk/bowl.stn.zip",
  };
  std::vector<std::string> served = server.TakeRequests();
  for (std::string& line : served) {
    // nginx merges nothing in $uri; accept either form of the joint.
    size_t twice = line.find("gobanvista//");
    if (twice == std::string::npos) {
      size_t once = line.find("/dist/gobanvista/");
      if (once != std::string::npos) line.insert(once + 17, "/");
    }
  }
  EXPECT_EQ(Sorted(served), Sorted(expected));
  EXPECT_FALSE(std::ifstream(world.Install() + "/data/notice_old.txt").good());
  EXPECT_EQ(ReadFile(world.Install() + "/data/schedule.txt"), "Tonight: the Myeongin final, game 3.\n");
  EXPECT_EQ(Shell(Quote(KIVRO_NPK_PROGRAM) + " cat " + Quote(world.Install() + "/stones.npk") +
                  " black.stn | grep -q stone-black-v2"),
            0);
  EXPECT_EQ(Shell(Quote(KIVRO_NPK_PROGRAM) + " cat " + Quote(world.Install() + "/stones.npk") +
                  " bowl.stn | grep -q cap-maple-v1"),
            0);

  // 3. Nothing new: only the list is fetched and the game starts at once.
  ASSERT_EQ(RunLauncher(world, &out), 0) << out;
  ASSERT_TRUE(world.WaitForGameStarts(3, 10000)) << out;
  EXPECT_NE(out.find("NOTHING TO UPDTAE\n"), std::string::npos) << out;
  EXPECT_EQ(server.TakeRequests(), std::vector<std::string>{"GET /vrl/newvrl/gobanvista.vrl"});
}

TEST_F(LauncherEndToEnd, AMissingListShowsTheCheckFailureAndStartsNothing) {
  DemoWorld world;  // nothing published
  DemoServer server;
  std::string why;
  ASSERT_TRUE(server.Start(world.Dir(), world.Server(), host_.port, "", &why)) << why;
  std::string out;
  EXPECT_EQ(RunLauncher(world, &out), 1) << out;
  EXPECT_NE(out.find("FAIL TO CHECK UPDATE INFO"), std::string::npos) << out;
  EXPECT_EQ(world.GameStarts(), 0);
}

TEST_F(LauncherEndToEnd, ADamagedArchiveFailsTheUpdateWithoutStartingTheGame) {
  DemoWorld world;
  ASSERT_TRUE(world.Publish("1.0", ""));
  // The archive of the start program is cut short on the server.
  std::string archive = world.Server() + "/dist/gobanvista/Gobanvista.exe.zip";
  ASSERT_EQ(Shell("truncate -s 40 " + Quote(archive)), 0);
  DemoServer server;
  std::string why;
  ASSERT_TRUE(server.Start(world.Dir(), world.Server(), host_.port, "", &why)) << why;
  std::string out;
  EXPECT_EQ(RunLauncher(world, &out), 1) << out;
  EXPECT_NE(out.find("FAIL TO UPDATE"), std::string::npos) << out;
  EXPECT_EQ(world.GameStarts(), 0);
}

}  // namespace

}  // namespace kivro
