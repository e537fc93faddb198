#include "platform/process.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

#include "platform/error.h"
#include "platform/file.h"
#include "platform/testing/temp_root.h"
#include "platform/thread.h"

namespace platform {
namespace {

class ProcessTest : public TempRootTest {
 protected:
  // Writes a shell script at a POSIX path and returns it as a Windows path.
  std::string Script(const std::string& name, const std::string& body, mode_t mode = 0755) {
    std::string path = root_ + "/" + name;
    std::ofstream(path) << "#!/bin/sh\n" << body << "\n";
    chmod(path.c_str(), mode);
    return "Z:" + path;
  }
  std::string Read(const std::string& name) {
    std::ifstream in(root_ + "/" + name);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }
};

TEST_F(ProcessTest, RunsAScriptWithItsArgumentsAndReportsTheExitCode) {
  std::string script = Script("args.sh", "for a in \"$@\"; do echo \"[$a]\"; done > \"$(dirname \"$0\")/out\"; exit 7");
  Process p;
  ASSERT_TRUE(p.Start(script, {"one two", "\xB0\xA1"}));  // the second is 가 in code page 949
  ASSERT_TRUE(p.Wait());
  uint32_t code = 0;
  ASSERT_TRUE(p.ExitCode(&code));
  EXPECT_EQ(code, 7u);
  EXPECT_EQ(Read("out"), "[one two]\n[가]\n");
}

TEST_F(ProcessTest, NoArgumentsMeansNone) {
  Process p;
  ASSERT_TRUE(p.Start(Script("count.sh", "echo $# > \"$(dirname \"$0\")/out\""), {}));
  ASSERT_TRUE(p.Wait());
  EXPECT_EQ(Read("out"), "0\n");
}

TEST_F(ProcessTest, FailsToStartWhatCannotRun) {
  Process p;
  EXPECT_FALSE(p.Start("Z:" + root_ + "/missing.exe", {}));
  EXPECT_EQ(GetLastSystemError(), kErrorFileNotFound);
  EXPECT_FALSE(p.IsStarted());
  EXPECT_FALSE(p.Start(Script("plain.sh", "exit 0", 0644), {}));
  EXPECT_EQ(GetLastSystemError(), kErrorAccessDenied);
  EXPECT_FALSE(p.Start("Z:" + root_, {}));  // a folder
  EXPECT_FALSE(p.Start("", {}));
  // A folder to start in that does not exist fails the start, as on Windows.
  EXPECT_FALSE(p.Start(Script("ok.sh", "exit 0"), {}, "Z:" + root_ + "/nowhere"));
}

TEST_F(ProcessTest, RunsInTheGivenFolderWithNoInput) {
  ASSERT_TRUE(MakeDirectory("Z:" + root_ + "/work"));
  std::string script = Script("where.sh", "pwd > \"$(dirname \"$0\")/out\"; cat >> \"$(dirname \"$0\")/out\"; echo end >> \"$(dirname \"$0\")/out\"");
  Process p;
  ASSERT_TRUE(p.Start(script, {}, "Z:" + root_ + "/work"));
  ASSERT_TRUE(p.Wait(10000));
  EXPECT_EQ(Read("out"), root_ + "/work\nend\n");
}

TEST_F(ProcessTest, WaitWithATimeLimitReturnsWhileTheProgramRuns) {
  std::string flag = root_ + "/flag";
  Process p;
  ASSERT_TRUE(p.Start(Script("slow.sh", "while [ ! -e '" + flag + "' ]; do sleep 0.02; done"), {}));
  EXPECT_FALSE(p.Wait(50));
  EXPECT_EQ(GetLastSystemError(), kErrorTimeout);
  std::ofstream(flag) << "x";
  EXPECT_TRUE(p.Wait(10000));
}

TEST_F(ProcessTest, WindowsProgramsNeedWine) {
  std::string exe = root_ + "/game.exe";
  std::ofstream(exe) << "MZ\x90\x00 not really a program";
  const char* saved = std::getenv("PATH");
  std::string old_path = saved ? saved : "";
  setenv("PATH", (root_ + "/nobin").c_str(), 1);
  Process p;
  EXPECT_FALSE(p.Start("Z:" + exe, {}));
  EXPECT_EQ(GetLastSystemError(), kErrorNotSupported);
  // A stand-in wine receives the program's path first.
  ASSERT_TRUE(MakeDirectory("Z:" + root_ + "/bin"));
  std::ofstream(root_ + "/bin/wine") << "#!/bin/sh\necho \"$@\" > '" << root_ << "/out'\n";
  chmod((root_ + "/bin/wine").c_str(), 0755);
  setenv("PATH", (root_ + "/bin:/usr/bin:/bin").c_str(), 1);
  ASSERT_TRUE(p.Start("Z:" + exe, {"arg"}));
  ASSERT_TRUE(p.Wait(10000));
  setenv("PATH", old_path.c_str(), 1);
  EXPECT_EQ(Read("out"), exe + " arg\n");
}

TEST_F(ProcessTest, ShellOpenStartsInTheProgramsFolderWithoutWaiting) {
  ASSERT_TRUE(MakeDirectory("Z:" + root_ + "/game"));
  std::string flag = root_ + "/go";
  std::string program = root_ + "/game/start.sh";
  std::ofstream(program) << "#!/bin/sh\nwhile [ ! -e '" << flag << "' ]; do sleep 0.02; done\n"
                         << "pwd > '" << root_ << "/out'; echo \"$1\" >> '" << root_ << "/out'\n";
  chmod(program.c_str(), 0755);
  ASSERT_TRUE(ShellOpen("Z:" + program, "\"with blank\""));  // returns while it still waits
  std::ofstream(flag) << "x";
  for (int i = 0; i < 500 && Read("out").find('\n', Read("out").find('\n') + 1) == std::string::npos; ++i) {
    Sleep(10);
  }
  EXPECT_EQ(Read("out"), root_ + "/game\nwith blank\n");
}

TEST(SplitCommandLineTest, FollowsTheRuntimesQuotingRules) {
  using V = std::vector<std::string>;
  EXPECT_EQ(SplitCommandLine(""), V{});
  EXPECT_EQ(SplitCommandLine("  a  b\tc "), (V{"a", "b", "c"}));
  EXPECT_EQ(SplitCommandLine("\"C:\\Program Files\\x.exe\" \"%1\""),
            (V{"C:\\Program Files\\x.exe", "%1"}));
  EXPECT_EQ(SplitCommandLine("a\\\\b \\\"q\\\" \"\""), (V{"a\\\\b", "\"q\"", ""}));
  EXPECT_EQ(SplitCommandLine("\"x\\\\\" y"), (V{"x\\", "y"}));
  EXPECT_EQ(SplitCommandLine("\"say \"\"hi\"\"\""), (V{"say \"hi\""}));
}

}  // namespace
}  // namespace platform
