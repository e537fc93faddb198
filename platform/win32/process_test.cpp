// Programs started on Windows receive each argument exactly as given (no
// argument spills into another, whatever its spaces, quotes and
// backslashes), run in the folder asked for, and report their exit code.
#include "platform/process.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/codepage.h"
#include "platform/error.h"
#include "platform/file.h"
#include "platform/paths.h"
#include "platform/processes.h"
#include "platform/testing/temp_root.h"

namespace platform {
namespace {

using Win32ProcessTest = TempRootTest;

// The test program lies beside this one.
std::string EchoProgram() { return ProgramDirectory() + "\\kivro_test_argument_echo.exe"; }

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  for (size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1)
    lines.push_back(text.substr(start, end - start));
  return lines;
}

TEST_F(Win32ProcessTest, ArgumentsArriveExactlyAndTheFolderIsTheOneAsked) {
  std::string out = root_ + "\\args.txt";
  std::vector<std::string> arguments = {
      out, "two words", "quote\"inside", "trailing\\", "back\\\\\"slash", "", "\xB9\xD9\xB5\xCF",
      "a\" \"b"};
  Process p;
  ASSERT_TRUE(p.Start(EchoProgram(), arguments, root_));
  ASSERT_TRUE(p.Wait(30000));
  uint32_t code = 0;
  ASSERT_TRUE(p.ExitCode(&code));
  EXPECT_EQ(code, 3u);
  std::string text;
  ASSERT_TRUE(ReadWholeFile(out, &text));
  std::vector<std::string> lines = Lines(text);
  ASSERT_EQ(lines.size(), arguments.size());
  EXPECT_TRUE(SameFile(Utf8ToCp949(lines[0]), root_));
  for (size_t i = 1; i < arguments.size(); ++i) EXPECT_EQ(Utf8ToCp949(lines[i]), arguments[i]) << i;
}

TEST_F(Win32ProcessTest, TerminateEndsAWaitingProgramAndTheSnapshotListsIt) {
  Process p;
  ASSERT_TRUE(p.Start(EchoProgram(), {root_ + "\\w.txt", "--wait"}));
  EXPECT_FALSE(p.Wait(50));
  EXPECT_EQ(GetLastSystemError(), kErrorTimeout);
  std::vector<ProcessEntry> entries;
  ASSERT_TRUE(SnapshotProcesses(&entries));
  ASSERT_FALSE(entries.empty());
  EXPECT_EQ(entries[0].process_id, 0u);
  EXPECT_EQ(entries[0].exe_file, "[System Process]");
  bool listed = false;
  for (const ProcessEntry& e : entries)
    if (e.process_id == p.Id()) listed = EqualsNoCase(e.exe_file, "kivro_test_argument_echo.exe");
  EXPECT_TRUE(listed);
  ASSERT_TRUE(p.Terminate());
  uint32_t code = 0;
  ASSERT_TRUE(p.ExitCode(&code));
  EXPECT_EQ(code, 137u);
}

TEST_F(Win32ProcessTest, MissingProgramsAndFoldersAreRefused) {
  Process p;
  EXPECT_FALSE(p.Start(root_ + "\\missing.exe", {}));
  EXPECT_EQ(GetLastSystemError(), kErrorFileNotFound);
  EXPECT_FALSE(p.Start(root_, {}));
  EXPECT_EQ(GetLastSystemError(), kErrorAccessDenied);
  ASSERT_TRUE(WriteWholeFile(root_ + "\\text.exe", "not a program", 13));
  EXPECT_FALSE(p.Start(root_ + "\\text.exe", {}));
  EXPECT_EQ(GetLastSystemError(), kErrorAccessDenied);
  EXPECT_FALSE(p.IsStarted());
}

}  // namespace
}  // namespace platform
