// PC-room detection against this machine's real facilities: the process
// snapshot and files under the virtual Windows root.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "pcroom/pc_room_detection.h"
#include "platform/file.h"
#include "platform/paths.h"
#include "platform/error.h"

namespace {

class PcRoomSystem : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = std::filesystem::temp_directory_path() /
            ("kivro-pcroom-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
             "-" + std::to_string(reinterpret_cast<uintptr_t>(this)));
    std::filesystem::create_directories(root_);
    setenv("KIVRO_ROOT", root_.c_str(), 1);
  }
  void TearDown() override {
    SetPcRoomWindowFinder(nullptr);
    std::filesystem::remove_all(root_);
  }
  std::filesystem::path root_;
};

TEST_F(PcRoomSystem, FindsInstalledFilesUnderTheVirtualRoot) {
  char code = 'X';
  EXPECT_FALSE(DetectPcRoomSoftware(code));
  EXPECT_EQ(code, 'X');
  const std::string sys = platform::SystemDirectory();
  ASSERT_TRUE(platform::CreateDirectoryChain(sys)) << sys;
  for (const char* name : {"/inetsrv.exe", "/inetldr.exe"}) {
    std::string path = sys + name;  // mixed separators, as the table builds them
    ASSERT_TRUE(platform::WriteWholeFile(path, "x", 1)) << path << " " << platform::ToPosixPath(path) << " " << platform::GetLastSystemError();
  }
  EXPECT_TRUE(DetectPcRoomSoftware(code));
  EXPECT_EQ(code, 'L');
}

TEST_F(PcRoomSystem, RunningProgramsComeFromTheSnapshotAndTheWindowFinder) {
  std::vector<std::string> names;
  ASSERT_TRUE(ListRunningProgramNames(&names, SystemPcRoomEnvironment()));
  EXPECT_NE(std::find(names.begin(), names.end(), "PCROOM_TEST"), names.end());
  // No window search is wired by default, so nothing runs "with its window".
  char code = 'X';
  EXPECT_FALSE(DetectByRunningPrograms(code, SystemPcRoomEnvironment()));
  SetPcRoomWindowFinder([](const std::string&) { return true; });
  // Every title is "shown" now, but no listed program runs here.
  EXPECT_FALSE(DetectByRunningPrograms(code, SystemPcRoomEnvironment()));
  EXPECT_EQ(code, 'X');
}

}  // namespace
