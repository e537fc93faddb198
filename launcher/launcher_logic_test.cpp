// The launcher's logic without a window: configuration, result messages,
// buttons after each result, progress texts and bars, the delayed check,
// Cancel, results that arrive after the window has gone.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <future>
#include <string>
#include <thread>

#include "launcher/client_report.h"
#include "launcher/launcher_config.h"
#include "launcher/launcher_link.h"
#include "launcher/launcher_test_fakes.h"
#include "launcher/result_messages.h"
#include "launcher/stonegate_dlg.h"

namespace kivro {

namespace {

using Dlg = CStonegateDlg;

struct GameStart {
  int count = 0;
  std::string folder, executable;
};
GameStart g_game;

void RecordGameStart(const std::string& folder, const std::string& executable) {
  ++g_game.count;
  g_game.folder = folder;
  g_game.executable = executable;
}

// "프로그램 설치 중 [%d/%d]" in code page 949, without the numbers.
const std::string kInstallingPrefix = "\xC7\xC1\xB7\xCE\xB1\xD7\xB7\xA5 \xBC\xB3\xC4\xA1 \xC1\xDF ";

int g_reports = 0;
bool CountReport() {
  ++g_reports;
  return true;
}

// A dialog opened on fakes and brought past its 1.5 s timer, so the check
// runs; each test then plays the manager's part.
class LauncherWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    g_game = GameStart();
    g_reports = 0;
    launcher::SetClientReportComposer(&CountReport);
    dlg_ = std::make_unique<Dlg>(surface_, CLauncherLink::Instance(), &manager_);
    dlg_->SetGameOpener(&RecordGameStart);
    dlg_->OnInitDialog();
  }
  void TearDown() override {
    dlg_.reset();
    launcher::SetClientReportComposer(nullptr);
  }

  void FireCheckTimer() { dlg_->OnTimer(Dlg::kCheckTimerId); }
  void Result(int32_t code) {
    ASSERT_NE(manager_.result, nullptr);
    manager_.result(code);
  }
  // enabled flags of update, cancel, start, exit
  std::string Buttons() {
    std::string s;
    for (int32_t id : {Dlg::kIdUpdate, Dlg::kIdCancel, Dlg::kIdStart, Dlg::kIdExit}) {
      Dlg::ButtonState b = dlg_->Button(id);
      EXPECT_EQ(b.enabled, !b.disabled_look) << "button " << id;
      s += b.enabled ? '1' : '0';
    }
    return s;
  }

  FakeManager manager_;
  FakeSurface surface_;
  std::unique_ptr<Dlg> dlg_;
};

TEST(LauncherConfig, PathsFollowTheDriveOfTheWindowsDirectory) {
  launcher::LauncherPaths p = launcher::FormLauncherPaths("E:\\WINDOWS", "dl.example.com");
  EXPECT_EQ(p.install_folder, "E:\\Zelmora\\KOREAN\\Gobanvista");
  EXPECT_EQ(p.patch_list_path, "E:\\Zelmora\\KOREAN\\Gobanvista\\gobanvista.vrl");
  EXPECT_EQ(p.game_executable, "E:\\Zelmora\\KOREAN\\Gobanvista\\Gobanvista.exe");
  EXPECT_EQ(p.patch_list_url, "http://dl.example.com/vrl/newvrl/gobanvista.vrl");
  EXPECT_EQ(p.url_base, "http://dl.example.com/dist/gobanvista/");
}

#if !defined(_WIN32)
// KIVRO_WINDIR places the Windows folder of the POSIX view; on Windows the
// folder is the system's own.
TEST(LauncherConfig, EveryPathGivenToTheManagerIsOnDriveEWhenWindowsIsOnE) {
  setenv("KIVRO_WINDIR", "E:\\WINDOWS", 1);
  FakeManager manager;
  CLauncherLink::Instance().InitWith(&manager);
  CLauncherLink::Instance().StartCheck();
  unsetenv("KIVRO_WINDIR");
  EXPECT_EQ(manager.local_base, "E:\\Zelmora\\KOREAN\\Gobanvista");
  EXPECT_EQ(manager.check_path, "E:\\Zelmora\\KOREAN\\Gobanvista\\gobanvista.vrl");
  EXPECT_EQ(CLauncherLink::Instance().Paths().game_executable,
            "E:\\Zelmora\\KOREAN\\Gobanvista\\Gobanvista.exe");
  // No window: the check's result goes nowhere, but the link is left idle.
  manager.result(RESULT_CHECK_FAILED);
  EXPECT_FALSE(CLauncherLink::Instance().Busy());
}
#endif

TEST(LauncherConfig, InitConfiguresRegistersAndAddsRulesInOrder) {
  FakeManager manager;
  CLauncherLink::Instance().InitWith(&manager);
  const std::string host = launcher::DownloadHost();
  std::vector<std::string> expected = {
      "SetPatchInfoKind 0",       "SetSubdirMode N_SUBDIR",   "SetDownloaderKind 0",
      "SetLocalBase",             "SetUrlBase",               "SetResultCallback",
      "SetDownloadCountCallback", "SetApplyCountCallback",    "SetFileNameCallback",
      "SetFilePercentCallback",   "SetApplyTextCallback",     "SetApplyPercentCallback",
      "AddVerifyRule exe 273",    "AddVerifyRule dll 17",     "AddVerifyRule map 17"};
  EXPECT_EQ(manager.calls, expected);  // bytes callbacks are never set
  EXPECT_EQ(manager.url_base, "http://" + host + "/dist/gobanvista/");
  EXPECT_STREQ(KIVRO_TEST_DOWNLOAD_HOST, host.c_str());
}

TEST(ResultMessages, EachCodeHasItsFixedMessage) {
  EXPECT_STREQ(launcher::MessageForResult(2), "FAIL TO CHECK UPDATE INFO");
  EXPECT_STREQ(launcher::MessageForResult(3), "SUCCEED TO UPDATE");
  EXPECT_STREQ(launcher::MessageForResult(4), "UPDATE CANCELED");
  EXPECT_STREQ(launcher::MessageForResult(5), "FAIL TO UPDATE");
  EXPECT_STREQ(launcher::MessageForResult(6), "SOME FILE HACKED....");
  EXPECT_STREQ(launcher::MessageForResult(7), "SOMETHING WRONG.....");
  EXPECT_STREQ(launcher::MessageForResult(0), "SOMETHING WRONG.....");
  EXPECT_STREQ(launcher::MessageForResult(-1), "SOMETHING WRONG.....");
  for (int32_t code : {10, 11, 12, 21, 22, 23}) EXPECT_EQ(launcher::MessageForResult(code), nullptr) << code;
}

TEST(ResultMessages, FailureMessagesStartingWithSNeverStartTheGame) {
  using launcher::ResultAction;
  EXPECT_EQ(launcher::ActionForMessage("NOTHING TO UPDTAE"), ResultAction::kStartGame);
  EXPECT_EQ(launcher::ActionForMessage("SUCCEED TO UPDATE"), ResultAction::kStartGame);
  EXPECT_EQ(launcher::ActionForMessage("FAIL TO UPDATE"), ResultAction::kShowAndClose);
  EXPECT_EQ(launcher::ActionForMessage("UPDATE CANCELED"), ResultAction::kShowAndStay);
  EXPECT_EQ(launcher::ActionForMessage("SOME FILE HACKED...."), ResultAction::kShowAndStay);
  EXPECT_EQ(launcher::ActionForMessage("SOMETHING WRONG....."), ResultAction::kShowAndStay);
  EXPECT_EQ(launcher::ActionForMessage(""), ResultAction::kShowAndStay);
}

TEST_F(LauncherWindowTest, OpensWithEverythingDisabledAndStartsTheTimer) {
  EXPECT_EQ(Buttons(), "0000");
  EXPECT_EQ(surface_.timers_set, std::vector<uint32_t>{11});
  EXPECT_EQ(manager_.check_count, 0);
}

TEST_F(LauncherWindowTest, TimerFiresTheCheckOnceOnly) {
  FireCheckTimer();
  FireCheckTimer();  // a tick already queued when the timer was killed
  dlg_->OnTimer(12);
  EXPECT_EQ(manager_.check_count, 1);
  EXPECT_EQ(surface_.timers_killed, std::vector<uint32_t>{11});
  EXPECT_EQ(Buttons(), "0000");  // the check runs with all buttons disabled
  EXPECT_EQ(manager_.check_url, "http://" + std::string(launcher::DownloadHost()) +
                                    "/vrl/newvrl/gobanvista.vrl");
}

TEST_F(LauncherWindowTest, ReportIsComposedRightBeforeEachCheck) {
  int reports_at_check = -1;
  manager_.on_check = [&] { reports_at_check = g_reports; };
  FireCheckTimer();
  EXPECT_EQ(reports_at_check, 1);
  Result(2);
}

TEST(ClientReport, AThrowingProbeNeverStopsTheCheck) {
  launcher::SetClientReportComposer([]() -> bool { throw 42; });
  EXPECT_FALSE(launcher::ComposeLauncherClientReport());
  launcher::SetClientReportComposer(nullptr);
}

TEST_F(LauncherWindowTest, CheckWithDownloadsStartsTheUpdateWithOnlyCancelEnabled) {
  FireCheckTimer();
  dlg_->SetText("old", kLineFile);
  dlg_->SetProgress(40, kBarInstall);
  manager_.has_downloads = 1;
  Result(1);
  EXPECT_EQ(manager_.start_update_count, 1);
  EXPECT_EQ(Buttons(), "0100");
  EXPECT_TRUE(surface_.boxes.empty());
  Dlg::View v = dlg_->Snapshot();
  EXPECT_STREQ(v.texts[kLineFile], "");
  EXPECT_EQ(v.bars[kBarInstall], 0);
  EXPECT_TRUE(CLauncherLink::Instance().Busy());
}

TEST_F(LauncherWindowTest, NothingToUpdateStartsTheGameWithoutABox) {
  FireCheckTimer();
  Result(1);
  EXPECT_TRUE(surface_.boxes.empty());
  EXPECT_EQ(g_game.count, 1);
  EXPECT_EQ(g_game.folder, CLauncherLink::Instance().Paths().install_folder);
  EXPECT_EQ(g_game.executable, CLauncherLink::Instance().Paths().game_executable);
  EXPECT_EQ(surface_.end_result, Dlg::kIdCancelResult);
  EXPECT_EQ(Buttons(), "0011");
  EXPECT_STREQ(dlg_->Snapshot().texts[kLineFourth], "NOTHING TO UPDTAE");
  EXPECT_EQ(dlg_->GetOutcome(), Dlg::Outcome::kGameStarted);
  EXPECT_FALSE(CLauncherLink::Instance().Busy());
}

TEST_F(LauncherWindowTest, UpdateDoneStartsTheGame) {
  FireCheckTimer();
  manager_.has_downloads = 1;
  Result(1);
  Result(3);
  EXPECT_TRUE(surface_.boxes.empty());
  EXPECT_EQ(g_game.count, 1);
  EXPECT_EQ(surface_.end_count, 1);
  EXPECT_EQ(Buttons(), "0011");
}

TEST_F(LauncherWindowTest, FailuresStartingWithFShowTheBoxAndClose) {
  FireCheckTimer();
  Result(2);
  EXPECT_EQ(surface_.boxes, std::vector<std::string>{"FAIL TO CHECK UPDATE INFO"});
  EXPECT_EQ(surface_.end_result, Dlg::kIdCancelResult);
  EXPECT_EQ(Buttons(), "1001");
  EXPECT_EQ(g_game.count, 0);
}

TEST_F(LauncherWindowTest, UpdateFailedShowsTheBoxAndCloses) {
  FireCheckTimer();
  manager_.has_downloads = 1;
  Result(1);
  Result(5);
  EXPECT_EQ(surface_.boxes, std::vector<std::string>{"FAIL TO UPDATE"});
  EXPECT_EQ(surface_.end_count, 1);
  EXPECT_EQ(Buttons(), "1001");
}

TEST_F(LauncherWindowTest, OtherFailuresShowTheBoxAndStayOpenForARetry) {
  struct Case {
    int32_t code;
    const char* message;
  };
  for (Case c : {Case{4, "UPDATE CANCELED"}, Case{6, "SOME FILE HACKED...."},
                 Case{7, "SOMETHING WRONG....."}}) {
    surface_.boxes.clear();
    dlg_->OnUpdate();
    manager_.has_downloads = 1;
    Result(1);
    Result(c.code);
    EXPECT_EQ(surface_.boxes, std::vector<std::string>{c.message}) << c.code;
    EXPECT_EQ(surface_.end_count, 0) << c.code;
    EXPECT_EQ(Buttons(), "1001") << c.code;
    EXPECT_EQ(g_game.count, 0) << c.code;  // tampered files never start the game
  }
  // The update button runs the check again.
  int checks = manager_.check_count;
  dlg_->OnCommand(Dlg::kIdUpdate);
  EXPECT_EQ(manager_.check_count, checks + 1);
}

TEST_F(LauncherWindowTest, OneShotResultsChangeNothing) {
  FireCheckTimer();
  manager_.has_downloads = 1;
  Result(1);
  for (int32_t code : {10, 11, 12, 21, 22, 23}) Result(code);
  EXPECT_TRUE(surface_.boxes.empty());
  EXPECT_EQ(surface_.end_count, 0);
  EXPECT_EQ(Buttons(), "0100");
  EXPECT_TRUE(CLauncherLink::Instance().Busy());
}

TEST_F(LauncherWindowTest, ApplyCountShowsDoneOfTotalAndItsBar) {
  manager_.apply_count(4, 1);
  EXPECT_EQ(std::string(dlg_->Snapshot().texts[kLineInstall]), kInstallingPrefix + "[1/4]");
  EXPECT_EQ(dlg_->Snapshot().bars[kBarInstall], 25);
  manager_.apply_count(3, 2);
  EXPECT_EQ(dlg_->Snapshot().bars[kBarInstall], 66);  // truncated
  manager_.apply_count(3, 3);
  EXPECT_EQ(dlg_->Snapshot().bars[kBarInstall], 100);
  int repaints = surface_.repaints;
  manager_.apply_count(0, 0);
  EXPECT_EQ(std::string(dlg_->Snapshot().texts[kLineInstall]), kInstallingPrefix + "[0/0]");
  EXPECT_EQ(dlg_->Snapshot().bars[kBarInstall], 100);
  EXPECT_EQ(surface_.repaints, repaints + 1);
  manager_.apply_count(50000000, 30000000);  // no overflow on large counts
  EXPECT_EQ(dlg_->Snapshot().bars[kBarInstall], 60);
}

TEST_F(LauncherWindowTest, CallbacksFillTheirLinesAndBars) {
  manager_.file_name("C:\\Zelmora\\KOREAN\\Gobanvista\\a.zip");
  manager_.file_percent(50);
  manager_.apply_text("b.dat");
  manager_.apply_percent(7);
  manager_.download_count(5, 1);  // nothing to show
  Dlg::View v = dlg_->Snapshot();
  EXPECT_STREQ(v.texts[kLineFile], "C:\\Zelmora\\KOREAN\\Gobanvista\\a.zip");
  EXPECT_EQ(v.bars[kBarFile], 50);
  EXPECT_STREQ(v.texts[kLineThird], "b.dat");
  EXPECT_EQ(v.bars[kBarThird], 7);
  EXPECT_EQ(surface_.repaints, 4);
  // The next file starts with an empty bar, not the last file's value.
  manager_.file_percent(100);
  manager_.file_name("C:\\Zelmora\\KOREAN\\Gobanvista\\b.zip");
  EXPECT_EQ(dlg_->Snapshot().bars[kBarFile], 0);
}

TEST_F(LauncherWindowTest, TextOf259CharactersIsShownWholeLongerIsCut) {
  std::string text259(259, 'x');
  text259[258] = 'E';
  manager_.file_name(text259.c_str());
  EXPECT_EQ(std::string(dlg_->Snapshot().texts[kLineFile]), text259);
  std::string text400(400, 'y');
  manager_.file_name(text400.c_str());
  EXPECT_EQ(std::string(dlg_->Snapshot().texts[kLineFile]), std::string(259, 'y'));
  dlg_->SetText(text400.c_str(), 99);  // any other line is the fourth
  EXPECT_EQ(strlen(dlg_->Snapshot().texts[kLineFourth]), 259u);
}

TEST_F(LauncherWindowTest, CancelClosesAtOnceAndItsResultIsNotShown) {
  FireCheckTimer();
  manager_.has_downloads = 1;
  Result(1);
  dlg_->OnCommand(Dlg::kIdCancel);
  EXPECT_EQ(manager_.cancel_count, 1);
  EXPECT_EQ(surface_.end_result, Dlg::kIdCancelResult);
  EXPECT_FALSE(dlg_->Button(Dlg::kIdCancel).enabled);
  // The workers stop and report 4 while the window is closing.
  Result(4);
  EXPECT_TRUE(surface_.boxes.empty());
  EXPECT_EQ(g_game.count, 0);
}

TEST_F(LauncherWindowTest, DisabledButtonsSendNothing) {
  dlg_->OnCommand(Dlg::kIdStart);
  dlg_->OnCommand(Dlg::kIdExit);
  dlg_->OnCommand(Dlg::kIdUpdate);
  EXPECT_EQ(g_game.count, 0);
  EXPECT_EQ(surface_.end_count, 0);
  EXPECT_EQ(manager_.check_count, 0);
}

TEST_F(LauncherWindowTest, ACheckThatCannotStartIsReportedAsFailed) {
  manager_.check_started = 0;
  FireCheckTimer();
  EXPECT_EQ(surface_.boxes, std::vector<std::string>{"FAIL TO CHECK UPDATE INFO"});
  EXPECT_EQ(surface_.end_count, 1);
  EXPECT_FALSE(CLauncherLink::Instance().Busy());
}

TEST_F(LauncherWindowTest, MissingSkinShowsTheErrorAndCloses) {
  FakeSurface surface;
  surface.skin_ok = false;
  FakeManager manager;
  Dlg dlg(surface, CLauncherLink::Instance(), &manager);
  dlg.OnInitDialog();
  EXPECT_EQ(surface.boxes, std::vector<std::string>{"ERROR IN CREATEOBJECT OF CSTONEGATEDLG"});
  EXPECT_EQ(surface.end_result, Dlg::kIdCancelResult);
  EXPECT_EQ(surface.timers_set.size(), 1u);  // the initialisation went on
}

TEST(LauncherWindowLifetime, ResultsAfterTheWindowClosedAreDropped) {
  FakeManager manager;
  FakeSurface surface;
  g_game = GameStart();
  {
    Dlg dlg(surface, CLauncherLink::Instance(), &manager);
    dlg.SetGameOpener(&RecordGameStart);
    surface.script = [&](Dlg& d) {
      d.OnTimer(Dlg::kCheckTimerId);
      manager.has_downloads = 1;
      manager.result(1);
      d.OnCommand(Dlg::kIdExit);
    };
    dlg.DoModal();
  }
  // The window object is gone; late reports must not reach it.
  int repaints = surface.repaints;
  manager.result(RESULT_UPDATE_FAILED);
  manager.result(RESULT_UPDATE_DONE);
  manager.file_name("late.zip");
  manager.file_percent(50);
  manager.apply_count(2, 1);
  EXPECT_TRUE(surface.boxes.empty());
  EXPECT_EQ(surface.repaints, repaints);
  EXPECT_EQ(g_game.count, 0);
  // A check result after the close starts no update.
  int updates = manager.start_update_count;
  manager.result(RESULT_CHECK_DONE);
  EXPECT_EQ(manager.start_update_count, updates);
  EXPECT_FALSE(CLauncherLink::Instance().Busy());
}

TEST(LauncherWindowLifetime, DetachWaitsForACallbackInProgress) {
  FakeManager manager;
  FakeSurface surface;
  surface.block_repaint = true;
  auto dlg = std::make_unique<Dlg>(surface, CLauncherLink::Instance(), &manager);
  dlg->OnInitDialog();
  std::thread worker([&] { manager.file_percent(10); });
  {
    std::unique_lock<std::mutex> hold(surface.lock);
    surface.repaint_cv.wait(hold, [&] { return surface.repaint_waiting; });
  }
  auto destroyed = std::async(std::launch::async, [&] { dlg.reset(); });
  EXPECT_EQ(destroyed.wait_for(std::chrono::milliseconds(200)), std::future_status::timeout);
  {
    std::lock_guard<std::mutex> hold(surface.lock);
    surface.release_repaint = true;
  }
  surface.repaint_cv.notify_all();
  worker.join();
  EXPECT_EQ(destroyed.wait_for(std::chrono::seconds(5)), std::future_status::ready);
}

TEST(LauncherWindowLifetime, ConcurrentProgressKeepsTextsWhole) {
  FakeManager manager;
  FakeSurface surface;
  Dlg dlg(surface, CLauncherLink::Instance(), &manager);
  dlg.OnInitDialog();
  const std::string a(200, 'a'), b(100, 'b');
  std::atomic<bool> stop{false};
  std::thread writer([&] {
    for (int i = 0; i < 20000; ++i) manager.file_name(i % 2 ? a.c_str() : b.c_str());
    stop = true;
  });
  int torn = 0;
  while (!stop) {
    std::string seen = dlg.Snapshot().texts[kLineFile];
    if (!seen.empty() && seen != a && seen != b) ++torn;
  }
  writer.join();
  EXPECT_EQ(torn, 0);
}

}  // namespace

}  // namespace kivro
