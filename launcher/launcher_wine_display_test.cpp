// The Windows KIVROInstaller.exe as a player meets it, on a real display
// (scripts/wine-run.sh --display: Wine's X11 driver on a private Xvfb)
// against nginx on the download host built into it: it installs the sample
// game into C:\Zelmora\KOREAN\Gobanvista, its Go-board window shows both
// bars moving (launcher_midupdate_wine.png in the build tree), the game
// starts, and the next run brings release 2.0. A click on Cancel in the
// middle of an update closes the window at once and leaves only whole files.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "launcher/launcher_e2e_fixture.h"
#include "launcher/stonegate_paint.h"
#include "patch/npk/npk.h"
#include "platform/paths.h"
#include "platform/process.h"
#include "platform/thread.h"
#include "platform/win32/testing/screen_testing.h"

namespace kivro {

namespace {

namespace fs = std::filesystem;
using launcher_e2e::DemoServer;
using launcher_e2e::DemoWorld;
using launcher_e2e::ReadFile;
using platform::screen_testing::Picture;
using platform::screen_testing::ScreenRect;
using platform::screen_testing::ScreenPoint;

// The launcher's own install folder on this machine (the prefix's C:).
constexpr char kInstall[] = "C:\\Zelmora\\KOREAN\\Gobanvista";

#ifdef KIVRO_LAUNCHER_PROGRAM
constexpr char kLauncherProgram[] = "Z:" KIVRO_LAUNCHER_PROGRAM;
#else
constexpr char kLauncherProgram[] = "";
#endif

std::string OutputPath(const std::string& name) {
  return std::string(KIVRO_TEST_OUTPUT_DIR) + "/" + name;
}

// Where the window is, found by its background (rows without text, bar or
// button); false when it is not on the screen.
bool FindLauncherWindow(const Picture& screen, const Picture& background, ScreenPoint* at) {
  return platform::screen_testing::FindPicture(screen, background, {2, 60, 100}, at);
}

// Pixels drawn from the progress strip at the start of a bar's row.
int BarPixels(const Picture& screen, ScreenPoint window, platform::Point bar, const Picture& strip) {
  int width = 0;
  while (width < launcher::kBarFullWidth &&
         screen.At(window.x + bar.x + width, window.y + bar.y + 5) == strip.At(width, 5)) {
    ++width;
  }
  return width;
}

bool IsDark(uint32_t rgb) {
  using platform::screen_testing::BlueOf;
  using platform::screen_testing::GreenOf;
  using platform::screen_testing::RedOf;
  return RedOf(rgb) < 60 && GreenOf(rgb) < 60 && BlueOf(rgb) < 60;
}

// Dark pixels in a text line's band where the background has none.
int TextPixels(const Picture& screen, ScreenPoint window, platform::Point text, const Picture& background) {
  int dark = 0;
  for (int y = text.y; y < text.y + 13; ++y) {
    for (int x = text.x; x < text.x + 300; ++x) {
      dark += IsDark(screen.At(window.x + x, window.y + y)) && !IsDark(background.At(x, y));
    }
  }
  return dark;
}

// A package by what it holds: each entity's name, flags and content.
std::map<std::string, std::string> PackageEntities(const std::string& path, bool* readable) {
  std::map<std::string, std::string> entities;
  NpkFile package;
  *readable = NpkOpen(&package, path.c_str()) == NPK_SUCCESS;
  if (!*readable) return entities;
  for (NpkFileEntity* e = package.first; e != nullptr; e = e->next) {
    std::vector<uint8_t> content;
    if (NpkReadEntity(&package, e, &content) != NPK_SUCCESS) {
      *readable = false;
      break;
    }
    entities[e->name] = std::to_string(e->info.flags) + ":" + std::string(content.begin(), content.end());
  }
  NpkClose(&package);
  return entities;
}

// What the update keeps while it works (downloads being fetched or resumed,
// a package being saved, a package's entity folder).
bool IsUpdateWorkFile(const std::string& name) {
  auto ends = [&](const std::string& s) {
    return name.size() >= s.size() && name.compare(name.size() - s.size(), s.size(), s) == 0;
  };
  return ends(".kvpart") || ends(".dwn") || ends("_") || ends(".zip") || name.find("__npk_entity") != std::string::npos;
}

// Every file below `dir` by relative path ('/' separated).
std::vector<std::string> FilesBelow(const std::string& dir) {
  std::vector<std::string> files;
  std::error_code ec;
  for (auto it = fs::recursive_directory_iterator(dir, ec); !ec && it != fs::recursive_directory_iterator();
       it.increment(ec)) {
    if (!it->is_directory()) files.push_back(fs::relative(it->path(), dir).generic_string());
  }
  return files;
}

// The real launcher in the display prefix, against nginx on its built-in
// host serving the sample game's releases.
class LauncherOnWineDisplay : public launcher_e2e::LoopbackLauncherTest {
 protected:
  void SetUp() override {
    if (kLauncherProgram[0] == '\0') {
      GTEST_SKIP() << "KIVROInstaller.exe is not built: the Windows backend draws no windows yet "
                      "(KIVRO_WINDOWS_UI is off)";
    }
    LoopbackLauncherTest::SetUp();
    if (IsSkipped()) return;
    background_ = platform::screen_testing::LoadBmpFile(std::string(KIVRO_SKIN_DIR) + "/background.bmp");
    strip_ = platform::screen_testing::LoadBmpFile(std::string(KIVRO_SKIN_DIR) + "/progress.bmp");
    ASSERT_EQ(background_.Width(), launcher::kWindowWidth);
    ASSERT_EQ(background_.Height(), launcher::kWindowHeight);
    ASSERT_FALSE(strip_.Empty());
    // The bar checks mean something only where strip and background differ.
    ASSERT_NE(strip_.At(2, 5), background_.At(launcher::kFileBarAt.x + 2, launcher::kFileBarAt.y + 5));
    ASSERT_NE(strip_.At(2, 5), background_.At(launcher::kInstallBarAt.x + 2, launcher::kInstallBarAt.y + 5));
    std::error_code ignored;
    fs::remove_all("C:\\Zelmora", ignored);
  }
  void TearDown() override {
    if (!LauncherEnded()) launcher_->Terminate();
    std::error_code ignored;
    fs::remove_all("C:\\Zelmora", ignored);
  }

  void Serve(const std::string& limit_rate) {
    std::string why;
    ASSERT_TRUE(server_.Start(world_.Dir(), world_.Server(), host_.port, limit_rate, &why)) << why;
  }
  // The requests served since the last call, sorted; nginx merges nothing
  // in $uri, so both forms of the joint after the base are taken as "//".
  std::vector<std::string> SortedRequests() {
    std::vector<std::string> served = server_.TakeRequests();
    for (std::string& line : served) {
      size_t once = line.find("/dist/gobanvista/");
      if (once != std::string::npos && line.find("gobanvista//") == std::string::npos) line.insert(once + 17, "/");
    }
    return Sorted(served);
  }
  static std::vector<std::string> Sorted(std::vector<std::string> v) {
    std::sort(v.begin(), v.end());
    return v;
  }
  void StartLauncher() {
    launcher_ = std::make_unique<platform::Process>();
    ASSERT_TRUE(launcher_->Start(kLauncherProgram, {}, platform::ToWindowsPath(world_.Dir())));
  }
  bool LauncherEnded() { return launcher_ == nullptr || launcher_->Wait(0); }
  // Waits for the launcher to end; its exit code, or -1 when it did not.
  int WaitForLauncher(uint32_t timeout_ms) {
    uint32_t code = 0;
    if (launcher_ == nullptr || !launcher_->Wait(timeout_ms) || !launcher_->ExitCode(&code)) return -1;
    return static_cast<int>(code);
  }
  int GameStarts() const {
    int lines = 0;
    for (char c : ReadFile(std::string(kInstall) + "\\started.log")) lines += c == '\n';
    return lines;
  }
  bool WaitForGameStarts(int count, int timeout_ms) const {
    for (int waited = 0; waited < timeout_ms && GameStarts() < count; waited += 100) platform::Sleep(100);
    return GameStarts() >= count;
  }
  std::string Installed(const std::string& name) const { return ReadFile(std::string(kInstall) + "\\" + name); }
  std::string Released(const std::string& version, const std::string& name) const {
    return ReadFile(world_.Dir() + "/release-" + version + "/" + name);
  }

  Picture background_, strip_;
  DemoWorld world_;
  DemoServer server_;
  std::unique_ptr<platform::Process> launcher_;
};

TEST_F(LauncherOnWineDisplay, InstallsWithBothBarsMovingOnTheBoardThenUpdatesToRelease2) {
  ASSERT_TRUE(world_.Publish("1.0", ""));
  // About 200 KB for the largest archive at 24 KB/s: seconds of progress.
  Serve("limit_rate 24k;");
  StartLauncher();

  bool window_seen = false, captured = false;
  ScreenPoint at;
  Picture shot;
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(90);
  while (!captured && !LauncherEnded() && std::chrono::steady_clock::now() < deadline) {
    platform::Sleep(150);
    Picture screen = platform::screen_testing::CaptureScreen();
    ScreenPoint found;
    if (screen.Empty() || !FindLauncherWindow(screen, background_, &found)) continue;
    window_seen = true;
    at = found;
    shot = screen;
    int file_bar = BarPixels(screen, at, launcher::kFileBarAt, strip_);
    int install_bar = BarPixels(screen, at, launcher::kInstallBarAt, strip_);
    // Mid-update: a file being fetched with its bar partly filled, and some
    // of the files installed.
    captured = file_bar > 0 && file_bar < launcher::kBarFullWidth && install_bar > 0 &&
               install_bar < launcher::kBarFullWidth &&
               TextPixels(screen, at, launcher::kFileTextAt, background_) > 20 &&
               TextPixels(screen, at, launcher::kInstallTextAt, background_) > 20;
  }
  if (!shot.Empty()) {
    platform::screen_testing::SavePng(shot, OutputPath("launcher_midupdate_wine_screen.png"));
    platform::screen_testing::SavePng(
        shot.Crop({at.x, at.y, at.x + launcher::kWindowWidth, at.y + launcher::kWindowHeight}),
        OutputPath("launcher_midupdate_wine.png"));
  }
  EXPECT_TRUE(window_seen) << "the launcher's window never appeared on the screen";
  EXPECT_TRUE(captured) << "no screenshot showed both bars partly filled with their texts";
  if (captured) {
    // The cancel button is drawn in its place over the skin.
    int cancel_differs = 0;
    for (int y = 0; y < 22; ++y) {
      for (int x = 0; x < 78; ++x) {
        platform::Point p{launcher::kCancelButtonAt.x + x, launcher::kCancelButtonAt.y + y};
        cancel_differs += shot.At(at.x + p.x, at.y + p.y) != background_.At(p.x, p.y);
      }
    }
    EXPECT_GT(cancel_differs, 100);
  }
  ASSERT_EQ(WaitForLauncher(120000), 0);
  ASSERT_TRUE(WaitForGameStarts(1, 20000)) << "the game did not start";
  // Started in its own folder: the prefix's C: as the host sees it.
  EXPECT_NE(Installed("started.log").find("Gobanvista 1.0 started in /"), std::string::npos)
      << Installed("started.log");
  EXPECT_NE(Installed("started.log").find("/drive_c/Zelmora/KOREAN/Gobanvista\n"), std::string::npos)
      << Installed("started.log");
  EXPECT_EQ(Installed("data\\openings.dat"), Released("1.0", "data/openings.dat"));
  EXPECT_EQ(Installed("Gobanvista.exe"), Released("1.0", "Gobanvista.exe"));

  // The next run, against release 2.0 at full speed: it fetches only what
  // changed (files compared by size, local time and byte sum on this
  // machine's own file system), updates and starts the new game.
  server_.Stop();
  ASSERT_TRUE(world_.Publish("2.0", "1.0"));
  Serve("");
  server_.TakeRequests();  // the first run's
  StartLauncher();
  ASSERT_EQ(WaitForLauncher(120000), 0);
  ASSERT_TRUE(WaitForGameStarts(2, 20000)) << "the updated game did not start";
  std::vector<std::string> expected = {
      "GET /vrl/newvrl/gobanvista.vrl",
      "GET /dist/gobanvista//Gobanvista.exe.zip",
      "GET /dist/gobanvista//schedule.txt.zip",
      "GET /dist/gobanvista//version.txt.zip",
      "GET /dist/gobanvista//welcome.txt.zip",
      "GET /dist/gobanvista//__npk_entity/stones.npk_npk/black.stn.zip",
      "GET /dist/gobanvista//__npk_entity/stones.npk_npk/bowl.stn.zip",
  };
  EXPECT_EQ(SortedRequests(), Sorted(expected));
  EXPECT_NE(Installed("started.log").find("Gobanvista 2.0 started"), std::string::npos);
  EXPECT_EQ(Installed("data\\schedule.txt"), "Tonight: the Myeongin final, game 3.\n");
  EXPECT_EQ(Installed("data\\version.txt"), "Gobanvista 2.0\n");
  EXPECT_FALSE(fs::exists(std::string(kInstall) + "\\data\\notice_old.txt"));
  bool readable = false;
  std::map<std::string, std::string> stones = PackageEntities(std::string(kInstall) + "\\stones.npk", &readable);
  EXPECT_TRUE(readable);
  EXPECT_EQ(stones["black.stn"], std::to_string(0x1000) + ":stone-black-v2 (polished)\n");
  EXPECT_EQ(stones["bowl.stn"], std::to_string(0x1000) + ":cap-maple-v1\n");

  // Nothing new: only the list is fetched and the game starts at once.
  StartLauncher();
  ASSERT_EQ(WaitForLauncher(120000), 0);
  ASSERT_TRUE(WaitForGameStarts(3, 20000));
  EXPECT_EQ(SortedRequests(), std::vector<std::string>{"GET /vrl/newvrl/gobanvista.vrl"});
}

TEST_F(LauncherOnWineDisplay, CancelMidUpdateClosesAtOnceAndLeavesOnlyWholeFiles) {
  ASSERT_TRUE(world_.Publish("1.0", ""));
  Serve("limit_rate 16k;");
  StartLauncher();
  // The update runs once the install count shows (Cancel is then enabled).
  ScreenPoint at;
  bool updating = false;
  for (int i = 0; i < 600 && !updating && !LauncherEnded(); ++i) {
    platform::Sleep(100);
    Picture screen = platform::screen_testing::CaptureScreen();
    updating = FindLauncherWindow(screen, background_, &at) &&
               TextPixels(screen, at, launcher::kInstallTextAt, background_) > 20 &&
               BarPixels(screen, at, launcher::kFileBarAt, strip_) > 0;
  }
  ASSERT_TRUE(updating) << "the update never showed";
  ASSERT_TRUE(platform::screen_testing::ClickAt(at.x + launcher::kCancelButtonAt.x + 39,
                                                at.y + launcher::kCancelButtonAt.y + 11));
  auto pressed = std::chrono::steady_clock::now();
  bool gone = false;
  while (!gone && std::chrono::steady_clock::now() - pressed < std::chrono::seconds(10)) {
    platform::Sleep(50);
    Picture screen = platform::screen_testing::CaptureScreen();
    ScreenPoint ignored;
    gone = !screen.Empty() && !FindLauncherWindow(screen, background_, &ignored);
  }
  EXPECT_TRUE(gone) << "the window stayed after Cancel";
  EXPECT_LT(std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - pressed).count(),
            5000);
  EXPECT_EQ(WaitForLauncher(30000), 2);  // closed without a result shown
  platform::Sleep(1000);
  EXPECT_EQ(GameStarts(), 0);

  // Nothing half-written: every file the update installed is the
  // release's whole file; a package holds only whole entities of it.
  std::vector<std::string> files = FilesBelow(kInstall);
  int whole = 0;
  for (const std::string& name : files) {
    if (IsUpdateWorkFile(name) || name == "gobanvista.vrl") {
      std::printf("kept for the next run: %s\n", name.c_str());
      continue;
    }
    if (name.size() > 4 && name.compare(name.size() - 4, 4, ".npk") == 0) {
      bool readable = false, released_readable = false;
      std::map<std::string, std::string> got = PackageEntities(std::string(kInstall) + "\\" + name, &readable);
      std::map<std::string, std::string> want =
          PackageEntities(world_.Dir() + "/release-1.0/" + name, &released_readable);
      EXPECT_TRUE(readable && released_readable) << name;
      for (const auto& [entity, content] : got) EXPECT_EQ(content, want[entity]) << name << " " << entity;
    } else {
      EXPECT_EQ(Installed(name), Released("1.0", name)) << name << " is not the release's file";
    }
    ++whole;
  }
  EXPECT_LT(whole, static_cast<int>(FilesBelow(world_.Dir() + "/release-1.0").size()))
      << "the update had ended before the click";

  // The next run completes the installation from there.
  StartLauncher();
  ASSERT_EQ(WaitForLauncher(120000), 0);
  ASSERT_TRUE(WaitForGameStarts(1, 20000));
  for (const char* name : {"Gobanvista.exe", "data/openings.dat", "data/welcome.txt", "maps/board19.map"}) {
    EXPECT_EQ(ReadFile(std::string(kInstall) + "/" + name), Released("1.0", name)) << name;
  }
}

TEST_F(LauncherOnWineDisplay, AFailedCheckWaitsInAMessageBoxUntilOkIsClicked) {
  Serve("");  // nothing published: the patch list is missing
  StartLauncher();
  // The box carries the program's name as its title, as the window does;
  // it is the one that is not the window's size.
  ScreenRect box;
  bool shown = false;
  for (int i = 0; i < 600 && !shown && !LauncherEnded(); ++i) {
    platform::Sleep(100);
    for (const ScreenRect& r : platform::screen_testing::FindClientAreas("KIVROInstaller")) {
      if (r.Width() != launcher::kWindowWidth || r.Height() != launcher::kWindowHeight) {
        box = r;
        shown = true;
      }
    }
  }
  ASSERT_TRUE(shown) << "no message box appeared";
  // Painted: its text and button drawn over the plain background.
  Picture picture;
  for (int i = 0; i < 100 && picture.Colours() < 3; ++i) {
    platform::Sleep(50);
    picture = platform::screen_testing::CaptureScreen().Crop(box);
  }
  EXPECT_GE(picture.Colours(), 3u);
  platform::screen_testing::SavePng(picture, OutputPath("launcher_check_failed_wine.png"));
  EXPECT_FALSE(launcher_->Wait(1000)) << "the program did not wait for its player";
  // The toolkit's message box puts OK 16 pixels from the right edge and 12
  // from the bottom, 80 x 24 pixels.
  ASSERT_TRUE(platform::screen_testing::ClickAt(box.right - 16 - 40, box.bottom - 12 - 12));
  EXPECT_EQ(WaitForLauncher(30000), 1);  // a failure was shown
  platform::Sleep(500);
  EXPECT_EQ(GameStarts(), 0);
}

}  // namespace

}  // namespace kivro
