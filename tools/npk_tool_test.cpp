// The npk tool as operators use it: exit codes, messages and content.
#include <gtest/gtest.h>

#include <cstdlib>
#include <random>
#include <string>

#include "platform/file.h"
#include "platform/paths.h"
#include "platform/testing/host_command.h"
#include "transfer/test_support/test_servers.h"

namespace kivro {

namespace {

class NpkTool : public ::testing::Test {
 protected:
  NpkTool() {
    std::random_device rd;
    // In the host's temporary folder: the tool runs from the host's shell.
    posix_ = kivro_test::HostTempFolder() + "/kivro_npk_tool_" + std::to_string(rd());
    dir_ = platform::ToWindowsPath(posix_);
    platform::CreateDirectoryChain(dir_);
  }
  ~NpkTool() override { platform::RemoveTree(dir_); }

  // Runs the tool with `args` in the scratch folder; stdout and stderr go to
  // files there. Returns the exit code.
  int Run(const std::string& args) {
    std::string command =
        "cd '" + posix_ + "' && '" + KIVRO_NPK_TOOL + "' " + args + " >out.bin 2>err.txt";
    return platform::RunHostCommand(command);
  }
  std::string Read(const std::string& name) {
    std::string content;
    platform::ReadWholeFile(dir_ + "\\" + name, &content);
    return content;
  }
  void Write(const std::string& name, const std::string& content) {
    ASSERT_TRUE(platform::WriteWholeFile(dir_ + "\\" + name, content.data(), content.size()));
  }

  std::string dir_, posix_;
};

TEST_F(NpkTool, AddCatListKeyAndRemoveRoundTrip) {
  std::string text;
  for (int i = 0; i < 500; ++i) text += "line " + std::to_string(i) + "\n";
  Write("a.txt", text);
  ASSERT_EQ(Run("create p.npk"), 0) << Read("err.txt");
  ASSERT_EQ(Run("add p.npk a.txt 'dir\\a.txt' --flags 0x1100"), 0) << Read("err.txt");
  ASSERT_EQ(Run("add p.npk a.txt"), 0) << Read("err.txt");
  ASSERT_EQ(Run("cat p.npk 'DIR\\A.TXT'"), 0) << Read("err.txt");
  EXPECT_EQ(Read("out.bin"), text);
  ASSERT_EQ(Run("key p.npk 1 2 3 0xFFFFFFFF"), 0) << Read("err.txt");
  ASSERT_EQ(Run("list p.npk"), 0);
  std::string listing = Read("out.bin");
  EXPECT_NE(listing.find("key 1 2 3 4294967295"), std::string::npos) << listing;
  EXPECT_NE(listing.find("dir\\a.txt\t"), std::string::npos) << listing;
  EXPECT_NE(listing.find("\t0x1100\t"), std::string::npos) << listing;
  ASSERT_EQ(Run("cat p.npk 'dir\\a.txt'"), 0);
  EXPECT_EQ(Read("out.bin"), text) << "decodes under the new key";
  ASSERT_EQ(Run("rm p.npk a.txt"), 0);
  ASSERT_EQ(Run("list p.npk"), 0);
  EXPECT_NE(Read("out.bin").find("1 entities"), std::string::npos);
}

TEST_F(NpkTool, ErrorsGiveMessagesAndNonZeroExits) {
  Write("a.txt", "x");
  Write("junk.npk", "not a package at all, really");
  ASSERT_EQ(Run("create p.npk"), 0);
  EXPECT_EQ(Run("create p.npk"), 1);
  EXPECT_NE(Read("err.txt").find("target exists"), std::string::npos);
  EXPECT_EQ(Run("list missing.npk"), 1);
  EXPECT_NE(Read("err.txt").find("file not found"), std::string::npos);
  EXPECT_EQ(Run("list junk.npk"), 1);
  EXPECT_NE(Read("err.txt").find("not a package"), std::string::npos);
  ASSERT_EQ(Run("add p.npk a.txt"), 0);
  EXPECT_EQ(Run("add p.npk a.txt"), 1);
  EXPECT_NE(Read("err.txt").find("already present"), std::string::npos);
  EXPECT_EQ(Run("cat p.npk nothing"), 1);
  EXPECT_EQ(Run("rm p.npk nothing"), 1);
  EXPECT_NE(Read("err.txt").find("not in the package"), std::string::npos);
  EXPECT_EQ(Run("key p.npk 1 2 3"), 2);
  EXPECT_EQ(Run("key p.npk 1 2 3 x"), 2);
  EXPECT_EQ(Run("add p.npk a.txt --flags"), 2);
  EXPECT_EQ(Run("frobnicate p.npk"), 2);
  EXPECT_EQ(Run(""), 2);
  EXPECT_NE(Read("err.txt").find("usage"), std::string::npos);
  EXPECT_EQ(Run("--help"), 0);
  EXPECT_NE(Read("out.bin").find("npk cat PACKAGE NAME"), std::string::npos);
}

}  // namespace

}  // namespace kivro
