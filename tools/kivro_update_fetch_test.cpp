// `kivro-update fetch` as an operator runs it: the built program against
// nginx and pyftpdlib on loopback, its exit code and what it prints.
#include "tools/kivro_update_fetch.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <vector>

#include "platform/testing/host_command.h"
#include "tools/kivro_publish_torrent.h"
#include "tools/kivro_update_swarm_support.h"

#include "transfer/swarmlet_meta.h"
#include "transfer/test_support/test_servers.h"

namespace kivro {

namespace {

using kivro_test::TempDir;

// Settings of the swarm engine for tests: loopback only, no discovery.
const char kLoopbackSettings[] = "listen = 127.0.0.1:0\ndht = 0\nlsd = 0\nsame_ip_peers = 1\n";

bool HaveTorrentEngine() {
#ifdef KIVRO_TORRENT_ENGINE
  return true;
#else
  return false;
#endif
}

std::vector<std::string> Engines() {
  std::vector<std::string> engines = {KIVRO_REFERENCE_ENGINE};
#ifdef KIVRO_TORRENT_ENGINE
  engines.push_back(KIVRO_TORRENT_ENGINE);
#endif
  return engines;
}

struct RunResult {
  int exit_code = -1;
  std::string output;  // stdout and stderr
};

// Runs the program through the shell; the exit code comes back in a file.
RunResult RunProgram(const std::string& program, const TempDir& scratch, const std::string& arguments) {
  std::string out = scratch.PosixPath("out.txt");
  std::string code = scratch.PosixPath("code.txt");
  std::string command = kivro_test::HostProgram(program) + " fetch " + arguments + " >'" +
                        out + "' 2>&1 </dev/null; echo $? >'" + code + "'";
  RunResult run;
  platform::RunHostCommand(command);
  std::string text;
  kivro_test::ReadPosixFile(code, &text);
  run.exit_code = text.empty() ? -1 : std::atoi(text.c_str());
  kivro_test::ReadPosixFile(out, &run.output);
  return run;
}

RunResult RunFetch(const TempDir& scratch, const std::string& arguments) {
  return RunProgram(KIVRO_UPDATE_PROGRAM, scratch, arguments);
}

TEST(FetchArguments, LocalPathsMayBePosixOrWindows) {
  EXPECT_EQ(FetchLocalPath("C:\\Zelmora\\a.zip"), "C:\\Zelmora\\a.zip");
  EXPECT_EQ(FetchLocalPath("/tmp/x/a.zip"), "Z:\\tmp\\x\\a.zip");
}

TEST(FetchArguments, ProgressLineFitsTheTerminal) {
  EXPECT_EQ(FetchProgressLine(1048576 * 2, 1048576, 80),
            "[" + std::string(25, '#') + std::string(25, ' ') + "] 50% 1.0/2.0 MiB");
  EXPECT_LE(FetchProgressLine(1000, 1000, 20).size(), 19u);
  EXPECT_EQ(FetchProgressLine(0, 0, 80).find("] 0% 0.0/0.0 MiB"), 51u);
}

class FetchTool : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!kivro_test::NginxServer::Available()) GTEST_SKIP() << "nginx is not installed";
    content_ = kivro_test::PatternBytes(300000, 31);
    ASSERT_TRUE(kivro_test::WritePosixFile(www_.PosixPath("dist/a.zip"), content_));
    std::string why;
    ASSERT_TRUE(nginx_.Start(www_.Posix(), &why)) << why;
  }
  std::string Local(const std::string& name) {
    std::string content;
    kivro_test::ReadPosixFile(dir_.PosixPath(name), &content);
    return content;
  }
  TempDir www_{"fetchwww"}, dir_{"fetch"}, scratch_{"fetchrun"};
  kivro_test::NginxServer nginx_;
  std::string content_;
};

TEST_F(FetchTool, FetchesAWholeUrlToAPosixPath) {
  RunResult run = RunFetch(scratch_, nginx_.BaseUrl() + "/dist/a.zip " + dir_.PosixPath("sub/a.zip"));
  EXPECT_EQ(run.exit_code, 0) << run.output;
  EXPECT_EQ(Local("sub/a.zip"), content_);
}

TEST_F(FetchTool, FetchesWithResumeFromTheUrlsServer) {
  kivro_test::WritePosixFile(dir_.PosixPath("a.zip.dwn"), content_.substr(0, 1000));
  RunResult run = RunFetch(scratch_, nginx_.BaseUrl() + "/dist/a.zip " + dir_.PosixPath("a.zip") + " --method 3");
  EXPECT_EQ(run.exit_code, 0) << run.output;
  EXPECT_EQ(Local("a.zip"), content_);
  ASSERT_TRUE(nginx_.WaitForLoggedRequests(1));
  EXPECT_NE(nginx_.AccessLog().find("/dist/a.zip HTTP/1.1 206"), std::string::npos);
}

TEST_F(FetchTool, FailureExitsWithTheResultCodeAndTheLastError) {
  RunResult run = RunFetch(scratch_, nginx_.BaseUrl() + "/dist/none.zip " + dir_.PosixPath("n.zip") + " --method 3");
  EXPECT_EQ(run.exit_code, 41);
  EXPECT_NE(run.output.find("failed with result 41"), std::string::npos) << run.output;
  EXPECT_NE(run.output.find("HTTP REQUEST SUCCESS BUT RESULT(STATUS) CODE IS NOT HTTP_STATUS_OK(200)"),
            std::string::npos);
}

// Both engines read the same published tree: the meta file names the
// HTTP source (the reference engine) and the torrent (the swarm engine).
TEST_F(FetchTool, PeerFetchGoesThroughWhicheverEngineIsBesideTheProgram) {
  SwarmletMeta meta;
  meta.name = "a.zip";
  meta.size = content_.size();
  meta.sources = {nginx_.BaseUrl() + "/dist/a.zip"};
  std::string torrent, error;
  if (HaveTorrentEngine()) {
    ASSERT_TRUE(MakeTorrent(www_.WinPath("dist/a.zip"), meta.sources[0], &torrent, &error)) << error;
    ASSERT_TRUE(kivro_test::WritePosixFile(www_.PosixPath("dist/a.zip.torrent"), torrent));
    meta.torrent = "a.zip.torrent";
  }
  ASSERT_TRUE(kivro_test::WritePosixFile(www_.PosixPath("dist/a.zip.swarmlet"), WriteSwarmletMeta(meta)));
  for (const std::string& engine : Engines()) {
    SCOPED_TRACE(engine);
    TempDir folder("fetchprog");
    std::string program = PlaceProgram(folder, engine, kLoopbackSettings);
    // The engine names the file as the meta file does, in the local path's folder.
    std::string name = "p/" + std::filesystem::path(engine).parent_path().filename().string() + "/a.zip";
    RunResult run = RunProgram(program, scratch_, nginx_.BaseUrl() + "/dist/a.zip " + dir_.PosixPath(name) + " --peer");
    EXPECT_EQ(run.exit_code, 0) << run.output;
    EXPECT_TRUE(Local(name) == content_);
  }
}

TEST_F(FetchTool, PeerFetchOfAMissingFileExitsWithTheEnginesError) {
  for (const std::string& engine : Engines()) {
    SCOPED_TRACE(engine);
    TempDir folder("fetchprog");
    RunResult run = RunProgram(PlaceProgram(folder, engine, kLoopbackSettings), scratch_,
                               nginx_.BaseUrl() + "/dist/none.zip " + dir_.PosixPath("n.zip") + " --peer");
    EXPECT_EQ(run.exit_code, 24);
    EXPECT_NE(run.output.find("SWARMLET CORE ERROR[1]"), std::string::npos) << run.output;
  }
}

// A settings file that does not read stops the swarm engine's start: the
// adapter answers 22 and nothing is fetched.
TEST_F(FetchTool, PeerFetchWithAFaultySettingsFileExitsWith22) {
  if (!HaveTorrentEngine()) GTEST_SKIP() << "built without the swarm engine";
#ifdef KIVRO_TORRENT_ENGINE
  TempDir folder("fetchprog");
  RunResult run = RunProgram(PlaceProgram(folder, KIVRO_TORRENT_ENGINE, "dht = perhaps\n"), scratch_,
                             nginx_.BaseUrl() + "/dist/a.zip " + dir_.PosixPath("f/a.zip") + " --peer");
  EXPECT_EQ(run.exit_code, 22) << run.output;
  EXPECT_FALSE(kivro_test::PosixFileExists(dir_.PosixPath("f/a.zip")));
#endif
}

TEST_F(FetchTool, UsageErrorsExitWith2) {
  EXPECT_EQ(RunFetch(scratch_, "").exit_code, 2);
  EXPECT_EQ(RunFetch(scratch_, "http://h/a " + dir_.PosixPath("a") + " --method 5").exit_code, 2);
  EXPECT_EQ(RunFetch(scratch_, "http://h/a " + dir_.PosixPath("a") + " --port x").exit_code, 2);
  EXPECT_EQ(RunFetch(scratch_, "http://h/a " + dir_.PosixPath("a") + " --peer --seed -1").exit_code, 2);
}

TEST(FetchToolFtp, FetchesWithResumableFtp) {
  if (!kivro_test::FtpServer::Available()) GTEST_SKIP() << "python3-pyftpdlib is not installed";
  TempDir root("fetchftp"), dir("fetchftpdst"), scratch("fetchftprun");
  std::string content = kivro_test::PatternBytes(123456, 32);
  ASSERT_TRUE(kivro_test::WritePosixFile(root.PosixPath("dist/f.zip"), content));
  kivro_test::FtpServer ftp;
  std::string why;
  ASSERT_TRUE(ftp.Start(root.Posix(), "op", "pw", &why)) << why;
  RunResult run = RunFetch(scratch, "ftp://127.0.0.1:" + std::to_string(ftp.Port()) + "/dist/f.zip " +
                                  dir.PosixPath("f.zip") + " --method 4 --user op --password pw");
  EXPECT_EQ(run.exit_code, 0) << run.output;
  std::string got;
  kivro_test::ReadPosixFile(dir.PosixPath("f.zip"), &got);
  EXPECT_EQ(got, content);
}

}  // namespace

}  // namespace kivro
