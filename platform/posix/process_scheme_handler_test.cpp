#include "platform/process_scheme_handler.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

#include "platform/file.h"
#include "platform/paths.h"
#include "platform/testing/temp_root.h"
#include "platform/thread.h"

namespace platform {
namespace {

class SchemeHandlerTest : public TempRootTest {
 protected:
  void SetUp() override {
    TempRootTest::SetUp();
    setenv("XDG_DATA_HOME", (root_ + "/data").c_str(), 1);
    setenv("XDG_CONFIG_HOME", (root_ + "/config").c_str(), 1);
  }
  void TearDown() override {
    unsetenv("XDG_DATA_HOME");
    unsetenv("XDG_CONFIG_HOME");
    TempRootTest::TearDown();
  }
  std::string Read(const std::string& path) {
    std::ifstream in(path);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }
};

TEST(DesktopExecQuoteTest, QuotesBlanksAndEscapesWhatTheShellOrTheEntryWouldTake) {
  EXPECT_EQ(DesktopExecQuote("/a b/c"), "\"/a b/c\"");
  EXPECT_EQ(DesktopExecQuote("/x$y`z\"w"), "\"/x\\\\$y\\\\`z\\\\\"w\"");
  EXPECT_EQ(DesktopExecQuote("/back\\slash"), "\"/back\\\\\\\\slash\"");
  EXPECT_EQ(DesktopExecQuote("/100%"), "\"/100%%\"");
}

TEST_F(SchemeHandlerTest, WritesTheEntryAndMakesItTheDefault) {
  ASSERT_TRUE(InstallUrlSchemeHandler("Zelmora", "C:\\WINDOWS\\Downloaded Program Files\\KIVROInstaller.exe"));
  std::string entry = Read(root_ + "/data/applications/kivro-zelmora.desktop");
  EXPECT_EQ(UrlSchemeHandlerPath("Zelmora"), root_ + "/data/applications/kivro-zelmora.desktop");
  std::string program = ToPosixPath("C:\\WINDOWS\\Downloaded Program Files\\KIVROInstaller.exe");
  EXPECT_NE(entry.find("Exec=\"" + program + "\" %u\n"), std::string::npos) << entry;
  EXPECT_NE(entry.find("MimeType=x-scheme-handler/zelmora;x-scheme-handler/Zelmora;\n"),
            std::string::npos);
  EXPECT_EQ(Read(root_ + "/config/mimeapps.list"),
            "[Default Applications]\nx-scheme-handler/zelmora=kivro-zelmora.desktop\n"
            "x-scheme-handler/Zelmora=kivro-zelmora.desktop\n");
}

TEST_F(SchemeHandlerTest, KeepsOtherAssociationsAndReplacesItsOwnLine) {
  ASSERT_TRUE(CreateDirectoryChain("Z:" + root_ + "/config"));
  std::ofstream(root_ + "/config/mimeapps.list")
      << "[Added Associations]\ntext/plain=editor.desktop\n\n"
      << "[Default Applications]\nx-scheme-handler/zelmora=old.desktop\ntext/html=browser.desktop\n";
  ASSERT_TRUE(InstallUrlSchemeHandler("zelmora", "C:\\a.exe"));
  ASSERT_TRUE(InstallUrlSchemeHandler("ZelNoti", "C:\\b.exe"));
  EXPECT_EQ(Read(root_ + "/config/mimeapps.list"),
            "[Added Associations]\ntext/plain=editor.desktop\n\n"
            "[Default Applications]\nx-scheme-handler/zelmora=kivro-zelmora.desktop\n"
            "text/html=browser.desktop\nx-scheme-handler/zelnoti=kivro-zelnoti.desktop\n"
            "x-scheme-handler/ZelNoti=kivro-zelnoti.desktop\n");
}

TEST_F(SchemeHandlerTest, InstallingTheSameHandlerAgainRewritesNothing) {
  ASSERT_TRUE(InstallUrlSchemeHandler("Zelmora", "C:\\a.exe"));
  struct stat entry_before, list_before, entry_after, list_after;
  ASSERT_EQ(stat(UrlSchemeHandlerPath("Zelmora").c_str(), &entry_before), 0);
  ASSERT_EQ(stat((root_ + "/config/mimeapps.list").c_str(), &list_before), 0);
  ASSERT_TRUE(InstallUrlSchemeHandler("Zelmora", "C:\\a.exe"));
  ASSERT_EQ(stat(UrlSchemeHandlerPath("Zelmora").c_str(), &entry_after), 0);
  ASSERT_EQ(stat((root_ + "/config/mimeapps.list").c_str(), &list_after), 0);
  EXPECT_EQ(entry_before.st_ino, entry_after.st_ino);  // a rewrite renames a new file in
  EXPECT_EQ(list_before.st_ino, list_after.st_ino);
  ASSERT_TRUE(InstallUrlSchemeHandler("Zelmora", "C:\\b.exe"));
  ASSERT_EQ(stat(UrlSchemeHandlerPath("Zelmora").c_str(), &entry_after), 0);
  EXPECT_NE(entry_before.st_ino, entry_after.st_ino);
}

TEST_F(SchemeHandlerTest, RefusesSchemesThatCouldEscapeTheFileName) {
  EXPECT_FALSE(InstallUrlSchemeHandler("../evil", "C:\\a.exe"));
  EXPECT_FALSE(InstallUrlSchemeHandler("", "C:\\a.exe"));
  EXPECT_FALSE(InstallUrlSchemeHandler("a b", "C:\\a.exe"));
  EXPECT_FALSE(FileExists("Z:" + root_ + "/data"));
}

// The handler as a desktop opens links: GLib's opener (what xdg-open hands
// links to on GNOME and most desktops) finds the default entry and runs its
// Exec line with the URL, the program's path holding blanks.
TEST_F(SchemeHandlerTest, DesktopOpenerStartsTheProgramWithTheUrlAsItsOnlyArgument) {
  if (system("command -v gio >/dev/null 2>&1") != 0) GTEST_SKIP() << "gio is not installed";
  std::string folder = root_ + "/drive_c/WINDOWS/Downloaded Program Files";
  ASSERT_TRUE(CreateDirectoryChain("Z:" + folder));
  std::string program = folder + "/KIVROInstaller.exe";
  std::ofstream(program) << "#!/bin/sh\necho \"$#\" > '" << root_ << "/out.tmp'\n"
                         << "for a in \"$@\"; do echo \"$a\"; done >> '" << root_ << "/out.tmp'\n"
                         << "mv '" << root_ << "/out.tmp' '" << root_ << "/out'\n";
  chmod(program.c_str(), 0755);
  ASSERT_TRUE(InstallUrlSchemeHandler("Zelmora", "Z:" + program));
  std::string url = "Zelmora:start?game=1&name=two words";
  std::string command = "env XDG_DATA_DIRS=/usr/share gio open '" + url + "'";
  ASSERT_EQ(system(command.c_str()), 0);
  for (int i = 0; i < 500 && !FileExists("Z:" + root_ + "/out"); ++i) Sleep(10);
  EXPECT_EQ(Read(root_ + "/out"), "1\n" + url + "\n");
}

}  // namespace
}  // namespace platform
