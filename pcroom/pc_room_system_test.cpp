// PC-room detection against this machine's real facilities: the process
// snapshot, top-level windows of a private X server, and files under the
// virtual Windows root.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>

#include "pcroom/pc_room_detection.h"
#include "platform/error.h"
#include "platform/file.h"
#include "platform/paths.h"
#include "platform/process.h"
#include "platform/thread.h"
#include "platform/testing/top_windows_testing.h"

namespace kivro {

namespace {

namespace fs = std::filesystem;

class PcRoomSystem : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = fs::temp_directory_path() /
            ("kivro-pcroom-" + std::to_string(reinterpret_cast<uintptr_t>(this)) + "-" +
             std::to_string(std::rand()));
    fs::create_directories(root_);
    setenv("KIVRO_ROOT", root_.c_str(), 1);
  }
  void TearDown() override { fs::remove_all(root_); }
  fs::path root_;
};

TEST_F(PcRoomSystem, FindsInstalledFilesUnderTheVirtualRoot) {
  char code = 'X';
  EXPECT_FALSE(DetectByInstalledFiles(code, SystemPcRoomEnvironment()));
  EXPECT_EQ(code, 'X');
  const std::string sys = platform::SystemDirectory();
  ASSERT_TRUE(platform::CreateDirectoryChain(sys)) << sys;
  for (const char* name : {"/inetsrv.exe", "/inetldr.exe"}) {
    std::string path = sys + name;  // mixed separators, as the table builds them
    ASSERT_TRUE(platform::WriteWholeFile(path, "x", 1))
        << path << " " << platform::ToPosixPath(path) << " " << platform::GetLastSystemError();
  }
  EXPECT_TRUE(DetectByInstalledFiles(code, SystemPcRoomEnvironment()));
  EXPECT_EQ(code, 'L');
}

TEST_F(PcRoomSystem, SnapshotListsThisProgram) {
  std::vector<std::string> names;
  ASSERT_TRUE(ListRunningProgramNames(&names, SystemPcRoomEnvironment()));
  EXPECT_NE(std::find(names.begin(), names.end(), "PCROOM_TEST"), names.end());
}

// A running NCCLIENT.EXE (a copy of sleep under that name) and a real window
// titled "NCClient" on a private X server: the running-program check finds
// product I; without the window it does not.
TEST_F(PcRoomSystem, RunningProgramWithItsWindowOnARealDisplay) {
  platform::PrivateXServer x;
  if (!x.Start()) GTEST_SKIP() << "Xvfb is not available";
  const fs::path program = root_ / "NCClient.exe";
  fs::copy_file("/bin/sleep", program);
  platform::Process running;
  ASSERT_TRUE(running.Start(platform::ToWindowsPath(program.string()), {"30"}));

  char code = 'X';
  EXPECT_FALSE(DetectByRunningPrograms(code, SystemPcRoomEnvironment()));
  platform::TestWindowProgram window;
  ASSERT_TRUE(window.Start("NCClient", {}, (root_ / "window.log").string()));
  bool found = false;
  for (int i = 0; i < 50 && !found; ++i) {  // the window maps asynchronously
    found = DetectByRunningPrograms(code, SystemPcRoomEnvironment());
    if (!found) platform::Sleep(100);
  }
  EXPECT_TRUE(found);
  EXPECT_EQ(code, 'I');
  window.Stop();
  running.Terminate();
}

}  // namespace

}  // namespace kivro
