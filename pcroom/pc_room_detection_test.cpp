#include "pcroom/pc_room_detection.h"

#include <gtest/gtest.h>

#include <set>

#include "pcroom/pc_room_tables.h"

namespace kivro {

namespace {

const char kGetoPlusWindow[] = "\xB0\xD4\xC5\xE4\xC7\xC3\xB7\xAF\xBD\xBA Version 4.0.7#4";
const char kGetoManagerWindow[] =
    "\xB0\xD4\xC5\xE4\xC7\xC3\xB7\xAF\xBD\xBA Version  (\xB9\xF6\xC0\xFC)";
const char kPicaWindow[] = "\xC7\xC7\xC4\xAB\xB8\xC5\xB4\xCF\xC0\xFA";

// A PC made of lists: processes (the first entry is the snapshot's idle
// entry), window titles and existing paths.
struct FakePc {
  bool snapshot_works = true;
  std::vector<std::string> processes = {"[System Process]"};
  std::set<std::string> windows;
  std::set<std::string> files;
  std::vector<std::string> windows_asked;

  PcRoomEnvironment Environment() {
    PcRoomEnvironment env;
    env.snapshot_processes = [this](std::vector<std::string>* names) {
      if (!snapshot_works) return false;
      *names = processes;
      return true;
    };
    env.find_window = [this](const std::string& title) {
      windows_asked.push_back(title);
      return windows.count(title) > 0;
    };
    env.file_exists = [this](const std::string& path) { return files.count(path) > 0; };
    env.system_directory = [] { return std::string("C:\\WINDOWS\\system32"); };
    env.windows_directory = [] { return std::string("C:\\WINDOWS"); };
    return env;
  }
  void Install(char code) {
    for (const auto& row : InstalledFilesTable("C:\\WINDOWS\\system32", "C:\\WINDOWS"))
      if (row.code == code) files.insert(row.files.begin(), row.files.end());
  }
};

char Detect(FakePc& pc) {
  char code = 'X';
  PcRoomEnvironment env = pc.Environment();
  bool found = DetectPcRoomSoftware(code, env);
  EXPECT_EQ(found, code != 'X');
  return code;
}

TEST(PcRoomTables, RowsInOrderWithTheirTexts) {
  std::string codes;
  for (const auto& row : RunningProgramTable()) {
    codes += char(row.code);
    EXPECT_TRUE(row.files.empty());
    EXPECT_EQ(row.pattern, row.code == 'C');
  }
  EXPECT_EQ(codes, "ABCDEGIJKLMNO");
  const auto running = RunningProgramTable();
  EXPECT_EQ(running[2].process, "AGENT[0-9]+.BIN");
  EXPECT_EQ(running[2].window, kGetoManagerWindow);
  EXPECT_EQ(running[10].window,
            "\xBD\xBA\xB8\xB6\xC6\xAE\xB3\xDD (C)\xBD\xBA\xB8\xB6\xC6\xAE\xBD\xC3\xBD\xBA\xC5\xDB("
            "\xC1\xD6)");
  codes.clear();
  const auto installed = InstalledFilesTable("S", "W");
  for (const auto& row : installed) {
    codes += char(row.code);
    EXPECT_TRUE(row.process.empty() && row.window.empty());
  }
  EXPECT_EQ(codes, "ABDFHIJLNO");
  EXPECT_EQ(installed[0].files,
            (std::vector<std::string>{"S/CLManager.exe", "S/MDLanunch.exe", "S/MDLCH.dll",
                                      "S/PicaVNC.exe"}));
  EXPECT_EQ(installed[5].files.back(), "W/NCSys.exe");
  EXPECT_EQ(installed[8].files.front(), "C:/Program Files//ezClick/ezClick.exe");
  EXPECT_EQ(installed[4].files.front(), "S/ntmcli");
}

TEST(PcRoomRunning, ExactRowReportedWhenPatternRowWindowIsMissing) {
  FakePc pc;
  pc.processes.push_back("C:\\GETO\\AGENT40.BIN");
  pc.windows.insert(kGetoPlusWindow);
  EXPECT_EQ(Detect(pc), 'D');
  // The pattern row was tried first, for its own title.
  ASSERT_FALSE(pc.windows_asked.empty());
  EXPECT_EQ(pc.windows_asked.front(), kGetoManagerWindow);
}

TEST(PcRoomRunning, PatternRowsComeFirst) {
  FakePc pc;
  pc.processes.push_back("AGENT40.BIN");
  pc.windows = {kGetoPlusWindow, kGetoManagerWindow};
  EXPECT_EQ(Detect(pc), 'C');
  pc.processes = {"[System Process]", "agent7.bin"};  // upper-cased first
  EXPECT_EQ(Detect(pc), 'C');
}

TEST(PcRoomRunning, NamesAreComparedUpperCased) {
  FakePc pc;
  pc.processes.push_back("C:\\Program Files\\Pica\\pmclient.exe");
  pc.windows.insert(kPicaWindow);
  EXPECT_EQ(Detect(pc), 'B');

  FakePc ez;  // the row's own text is mixed case
  ez.processes.push_back("EzClick.EXE");
  ez.windows.insert("ezClick");
  EXPECT_EQ(Detect(ez), 'N');
}

TEST(PcRoomRunning, WindowTitleMustMatchExactly) {
  FakePc pc;
  pc.processes.push_back("CLMANAGER.EXE");
  pc.windows.insert("CLManager ");  // differs by a blank
  pc.windows.insert("clmanager");   // differs by case
  EXPECT_EQ(Detect(pc), 'X');
  pc.Install('A');  // the installed-files check still finds it
  EXPECT_EQ(Detect(pc), 'A');
}

TEST(PcRoomRunning, SnapshotFirstEntryIsNotUsed) {
  FakePc pc;
  pc.processes = {"NCCLIENT.EXE"};
  pc.windows.insert("NCClient");
  EXPECT_EQ(Detect(pc), 'X');
  pc.processes.push_back("NCCLIENT.EXE");
  EXPECT_EQ(Detect(pc), 'I');
}

TEST(PcRoomRunning, FailedSnapshotStillRunsTheFilesCheck) {
  FakePc pc;
  pc.snapshot_works = false;
  std::vector<std::string> names = {"stale"};
  EXPECT_FALSE(ListRunningProgramNames(&names, pc.Environment()));
  EXPECT_TRUE(names.empty());
  pc.Install('O');
  EXPECT_EQ(Detect(pc), 'O');
  pc.snapshot_works = true;
  pc.processes.clear();  // no first entry
  EXPECT_FALSE(ListRunningProgramNames(&names, pc.Environment()));
}

TEST(PcRoomRunning, ListKeepsSnapshotOrderAndStripsFolders) {
  FakePc pc;
  pc.processes = {"[System Process]", "a\\b\\Gobanvista.exe", "init", "Wine\\\xB0\xD4x.exe"};
  std::vector<std::string> names;
  ASSERT_TRUE(ListRunningProgramNames(&names, pc.Environment()));
  EXPECT_EQ(names, (std::vector<std::string>{"GOBANVISTA.EXE", "INIT", "\xB0\xD4X.EXE"}));
}

TEST(PcRoomInstalled, ProductWithOneFileMissingIsSkipped) {
  FakePc pc;
  pc.Install('A');
  pc.files.erase("C:\\WINDOWS\\system32/MDLCH.dll");
  EXPECT_EQ(Detect(pc), 'X');
  pc.Install('L');  // a later row, complete
  EXPECT_EQ(Detect(pc), 'L');
}

TEST(PcRoomInstalled, FirstCompleteRowInTableOrderWins) {
  FakePc pc;
  pc.Install('J');
  pc.Install('I');
  EXPECT_EQ(Detect(pc), 'I');
  // Row N's folder with the doubled slash, exactly as listed.
  FakePc ez;
  ez.Install('N');
  EXPECT_TRUE(ez.files.count("C:/Program Files//ezClick/ezClick.exe"));
  EXPECT_EQ(Detect(ez), 'N');
}

TEST(PcRoomDetect, NothingFoundKeepsTheCallersCode) {
  FakePc pc;
  pc.processes = {"[System Process]", "BASH", "AGENT.BIN", "GOBANVISTA.EXE"};
  pc.windows = {"CLManager", "ntmcli"};
  char code = 'Q';
  EXPECT_FALSE(DetectPcRoomSoftware(code, pc.Environment()));
  EXPECT_EQ(code, 'Q');
}

}  // namespace

}  // namespace kivro
