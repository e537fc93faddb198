// PC-room detection against this machine's real facilities: the process
// snapshot, top-level windows (of a private X server on POSIX, of the
// desktop on Windows), and files of the Windows folders (under the virtual
// root on POSIX, the machine's own on Windows).
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "pcroom/pc_room_detection.h"
#include "platform/error.h"
#include "platform/file.h"
#include "platform/paths.h"
#include "platform/process.h"
#include "platform/thread.h"
#include "platform/testing/system_kind.h"
#include "platform/testing/temp_root.h"
#include "platform/testing/top_windows_testing.h"

namespace kivro {

namespace {

using platform::testing_support::kOnWindows;

// The files of product L, in the system folder.
const char* const kProductLFiles[] = {"/inetsrv.exe", "/inetldr.exe"};

// A fresh machine per test. On Windows the system folder is the machine's
// own: the files a test puts there go before and after it.
class PcRoomSystem : public platform::TempRootTest {
 protected:
  void SetUp() override {
    platform::TempRootTest::SetUp();
    RemoveProductFiles();
  }
  void TearDown() override {
    RemoveProductFiles();
    platform::TempRootTest::TearDown();
  }
  static void RemoveProductFiles() {
    for (const char* name : kProductLFiles) platform::RemoveFile(platform::SystemDirectory() + name);
  }
  // A file of the private folder, by the path the system's programs take.
  std::string NativePath(const std::string& name) const {
    return root_ + (kOnWindows ? "\\" : "/") + name;
  }
};

TEST_F(PcRoomSystem, FindsInstalledFilesInTheSystemFolder) {
  char code = 'X';
  EXPECT_FALSE(DetectByInstalledFiles(code, SystemPcRoomEnvironment()));
  EXPECT_EQ(code, 'X');
  const std::string sys = platform::SystemDirectory();
  ASSERT_TRUE(platform::CreateDirectoryChain(sys)) << sys;
  for (const char* name : kProductLFiles) {
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
  // The name of the program file: Windows names it with its extension.
  const std::string self = kOnWindows ? "PCROOM_TEST.EXE" : "PCROOM_TEST";
  EXPECT_NE(std::find(names.begin(), names.end(), self), names.end());
}

// A running NCCLIENT.EXE (a copy of a program that waits, under that name:
// sleep on POSIX, our window program on Windows) and a real window titled
// "NCClient": the running-program check finds product I; without the
// window it does not.
TEST_F(PcRoomSystem, RunningProgramWithItsWindowOnARealDisplay) {
  platform::PrivateXServer x;
  if (!x.Start()) GTEST_SKIP() << "no window system (Xvfb is not available)";
  platform::Process running;
  if (kOnWindows) {
    std::string program;
    ASSERT_TRUE(platform::ReadWholeFile(platform::TestWindowProgram::ProgramWindowsPath(), &program));
    ASSERT_TRUE(platform::WriteWholeFile(NativePath("NCClient.exe"), program.data(), program.size()));
    ASSERT_TRUE(running.Start(NativePath("NCClient.exe"),
                              {"another title", NativePath("running.log"), "silent"}));
  } else {
    std::filesystem::copy_file("/bin/sleep", NativePath("NCClient.exe"));
    ASSERT_TRUE(running.Start(platform::ToWindowsPath(NativePath("NCClient.exe")), {"30"}));
  }

  char code = 'X';
  EXPECT_FALSE(DetectByRunningPrograms(code, SystemPcRoomEnvironment()));
  platform::TestWindowProgram window;
  ASSERT_TRUE(window.Start("NCClient", {}, NativePath("window.log")));
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
