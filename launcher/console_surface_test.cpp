// The launcher on a terminal: the progress line, the plain log lines, and a
// whole run of the window logic with the terminal as its display.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>

#include "launcher/console_surface.h"
#include "launcher/launcher_link.h"
#include "launcher/launcher_test_fakes.h"

namespace kivro {

namespace {

using launcher::ConsoleSurface;
using launcher::FormatProgressLine;
using launcher::PlainProgressLines;

std::string ReadAll(FILE* f) {
  std::string s;
  fflush(f);
  rewind(f);
  char buf[4096];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, f)) > 0) s.append(buf, n);
  return s;
}

CStonegateDlg::View ViewWith(const char* install, int32_t install_bar, const char* file, int32_t file_bar) {
  CStonegateDlg::View v;
  strcpy(v.texts[kLineInstall], install);
  strcpy(v.texts[kLineFile], file);
  v.bars[kBarInstall] = install_bar;
  v.bars[kBarFile] = file_bar;
  return v;
}

// "프로그램 설치 중 [2/5]" in code page 949 and in UTF-8.
const char* kInstalling2of5 = "\xC7\xC1\xB7\xCE\xB1\xD7\xB7\xA5 \xBC\xB3\xC4\xA1 \xC1\xDF [2/5]";
const std::string kInstalling2of5Utf8 = "\xED\x94\x84\xEB\xA1\x9C\xEA\xB7\xB8\xEB\x9E\xA8 \xEC\x84\xA4\xEC\xB9\x98 \xEC\xA4\x91 [2/5]";

TEST(ConsoleProgress, LineShowsCountFileAndPercentInUtf8) {
  std::string line = FormatProgressLine(ViewWith(kInstalling2of5, 40, "C:\\G\\a.zip", 45), 0);
  EXPECT_EQ(line, kInstalling2of5Utf8 + " 40%  |  C:\\G\\a.zip 45%");
}

TEST(ConsoleProgress, LongPathIsCutAtItsStartToFitTheTerminal) {
  std::string path = "C:\\Zelmora\\KOREAN\\Gobanvista\\data\\a_rather_long_folder_name\\openings.dat.zip";
  std::string line = FormatProgressLine(ViewWith("", 0, path.c_str(), 7), 40);
  EXPECT_LE(line.size(), 39u);
  EXPECT_EQ(line.substr(0, 3), "...");
  EXPECT_EQ(line.substr(line.size() - 19), "openings.dat.zip 7%");
}

TEST(ConsoleProgress, KoreanTextCountsTwoColumnsPerCharacter) {
  // 18 columns of Korean text (9 wide characters and blanks) + " 40%".
  std::string line = FormatProgressLine(ViewWith(kInstalling2of5, 40, "", 0), 20);
  EXPECT_EQ(line.substr(0, 3), "...");
  EXPECT_EQ(line.substr(line.size() - 9), "[2/5] 40%");
}

TEST(ConsoleProgress, PlainLinesOnlyWhenTheFileOrTheCountChanges) {
  CStonegateDlg::View empty;
  CStonegateDlg::View a = ViewWith("", 0, "C:\\a.zip", 0);
  EXPECT_EQ(PlainProgressLines(empty, a), std::vector<std::string>{"Fetching C:\\a.zip"});
  CStonegateDlg::View a50 = ViewWith("", 0, "C:\\a.zip", 50);
  EXPECT_TRUE(PlainProgressLines(a, a50).empty());  // percentages make no lines
  CStonegateDlg::View counted = ViewWith(kInstalling2of5, 40, "C:\\a.zip", 50);
  EXPECT_EQ(PlainProgressLines(a50, counted), std::vector<std::string>{kInstalling2of5Utf8});
}

TEST(ConsoleSurfaceRun, TerminalLineIsRewrittenAndEndedBeforeMessages) {
  FILE* out = tmpfile();
  FILE* err = tmpfile();
  ASSERT_TRUE(out && err);
  {
    ConsoleSurface surface(out, err, true, 80);
    FakeManager manager;
    CStonegateDlg dlg(surface, CLauncherLink::Instance(), &manager);
    manager.on_check = [&] {
      manager.file_name("C:\\a.zip");
      manager.file_percent(50);
      manager.result(RESULT_CHECK_FAILED);  // "F": a box, then the window closes
    };
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(dlg.DoModal(), CStonegateDlg::kIdCancelResult);
    auto waited = std::chrono::steady_clock::now() - start;
    EXPECT_GE(std::chrono::duration_cast<std::chrono::milliseconds>(waited).count(), 1400);
    EXPECT_EQ(manager.check_count, 1);
  }
  std::string o = ReadAll(out), e = ReadAll(err);
  EXPECT_NE(o.find("\rC:\\a.zip 0%\x1b[K"), std::string::npos) << o;
  EXPECT_NE(o.find("\rC:\\a.zip 50%\x1b[K\n"), std::string::npos) << o;  // ended before the box
  EXPECT_EQ(e, "KIVROInstaller: FAIL TO CHECK UPDATE INFO\n");
  fclose(out);
  fclose(err);
}

TEST(ConsoleSurfaceRun, PlainOutputForLogsAndTheGameStart) {
  FILE* out = tmpfile();
  FILE* err = tmpfile();
  ASSERT_TRUE(out && err);
  static int games = 0;
  games = 0;
  {
    ConsoleSurface surface(out, err, false, 0);
    FakeManager manager;
    CStonegateDlg dlg(surface, CLauncherLink::Instance(), &manager);
    dlg.SetGameOpener([](const std::string&, const std::string&) { ++games; });
    manager.has_downloads = 1;
    manager.on_check = [&] {
      manager.result(RESULT_CHECK_DONE);
      manager.file_name("C:\\a.zip");
      manager.file_percent(30);
      manager.file_percent(100);
      manager.apply_count(1, 1);
      manager.result(RESULT_UPDATE_DONE);
    };
    dlg.DoModal();
  }
  EXPECT_EQ(games, 1);
  std::string o = ReadAll(out);
  EXPECT_EQ(o.find('\r'), std::string::npos);
  EXPECT_NE(o.find("Fetching C:\\a.zip\n"), std::string::npos) << o;
  EXPECT_NE(o.find("\xEC\xA4\x91 [1/1]\n"), std::string::npos) << o;
  EXPECT_NE(o.find("SUCCEED TO UPDATE\nStarting "), std::string::npos) << o;
  EXPECT_EQ(ReadAll(err), "");
  fclose(out);
  fclose(err);
}

}  // namespace

}  // namespace kivro
