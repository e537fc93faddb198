// The display tests' own test: on the display of scripts/wine-run.sh
// --display, a window of ours is read back pixel for pixel where it lies, a
// click lands on it at the point aimed at, and the Korean system faces have
// Hangul as on a Korean Windows.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "platform/process.h"
#include "platform/thread.h"
#include "platform/win32/testing/screen_testing.h"

namespace platform::screen_testing {

namespace {

namespace fs = std::filesystem;

constexpr int kWidth = 240;
constexpr int kHeight = 160;
constexpr int kLeft = 130;
constexpr int kTop = 90;

// What the paint program shows: red x, green y, blue 0x80.
Picture ExpectedPaint() {
  Picture p(kWidth, kHeight);
  for (int y = 0; y < kHeight; ++y) {
    for (int x = 0; x < kWidth; ++x) p.Set(x, y, (uint32_t(x) << 16) | (uint32_t(y) << 8) | 0x80);
  }
  return p;
}

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

std::string ScreenshotPath(const std::string& name) {
  const char* build = std::getenv("KIVRO_BUILD_DIR");
  fs::path dir = fs::path(build != nullptr ? build : ".") / "screenshots";
  std::error_code ignored;
  fs::create_directories(dir, ignored);
  return (dir / name).generic_string();
}

TEST(DisplayHarness, KoreanSystemFacesHaveHangulAsOnAKoreanWindows) {
  // "확인", "취소", "프로": Hangul of the programs' texts.
  const std::string korean = "\xED\x99\x95\xEC\x9D\xB8\xEC\xB7\xA8\xEC\x86\x8C\xED\x94\x84\xEB\xA1\x9C";
  for (const char* face : {"\xEA\xB5\xB4\xEB\xA6\xBC", "Gulim", "\xEB\x8F\x8B\xEC\x9B\x80", "Dotum"}) {
    std::string real;
    EXPECT_TRUE(FontHasGlyphs(face, korean, &real)) << face << " gave " << real;
  }
  // The check itself tells a missing glyph: the Korean face has no Thai.
  std::string real;
  EXPECT_FALSE(FontHasGlyphs("Gulim", "\xE0\xB8\x81", &real)) << real;
}

class PaintWindowOnScreen : public ::testing::Test {
 protected:
  void SetUp() override {
    log_ = (fs::temp_directory_path() / ("kivro-paint-" + std::to_string(GetCurrentProcessId()) + ".log")).string();
    std::remove(log_.c_str());
    ASSERT_TRUE(program_.Start(KIVRO_TEST_PAINT_WINDOW_PROGRAM,
                               {std::to_string(kLeft), std::to_string(kTop), log_,
                                std::to_string(GetCurrentProcessId())}));
    for (int i = 0; i < 300 && ReadAll(log_).find("painted") == std::string::npos; ++i) platform::Sleep(50);
    ASSERT_NE(ReadAll(log_).find("painted"), std::string::npos) << "the window never painted";
  }
  void TearDown() override {
    if (program_.IsStarted() && !program_.Wait(0)) program_.Terminate();
    std::remove(log_.c_str());
  }

  platform::Process program_;
  std::string log_;
};

TEST_F(PaintWindowOnScreen, ItsPixelsAreReadBackExactlyWhereItLies) {
  const Picture expected = ExpectedPaint();
  Picture screen;
  ScreenPoint at;
  bool found = false;
  // A window shown is drawn soon after its first paint; allow a moment.
  for (int i = 0; i < 40 && !found; ++i) {
    screen = CaptureScreen();
    found = FindPicture(screen, expected, {0, kHeight / 2, kHeight - 1}, &at);
    if (!found) platform::Sleep(100);
  }
  ASSERT_FALSE(screen.Empty());
  SavePng(screen, ScreenshotPath("display_harness.png"));
  ASSERT_TRUE(found) << "the painted window is not on the screen";
  EXPECT_EQ(at.x, kLeft);
  EXPECT_EQ(at.y, kTop);
  int differ = 0;
  for (int y = 0; y < kHeight; ++y) {
    for (int x = 0; x < kWidth; ++x) differ += screen.At(kLeft + x, kTop + y) != expected.At(x, y);
  }
  EXPECT_EQ(differ, 0);
  EXPECT_EQ(screen.Crop({kLeft, kTop, kLeft + kWidth, kTop + kHeight}).Colours(), size_t(kWidth) * kHeight);
}

TEST_F(PaintWindowOnScreen, AClickLandsOnThePointAimedAt) {
  ASSERT_TRUE(ClickAt(kLeft + 57, kTop + 33));
  EXPECT_TRUE(program_.Wait(10000)) << "the release did not reach the window\n" << ReadAll(log_);
  EXPECT_EQ(ReadAll(log_), "painted\ndown 57 33\nup 57 33\n");
}

}  // namespace

}  // namespace platform::screen_testing
