// The skinned bitmap and button controls on the off-screen backend, checked
// pixel by pixel against the skins built into this test.
#include <gtest/gtest.h>

#include <cstring>
#include <list>
#include <thread>
#include <vector>

#include "launcher/tuv_bmp.h"
#include "launcher/tuv_button.h"
#include "platform/resource.h"
#include "platform/window.h"
#include "platform/testing/window_testing.h"

namespace kivro {

using namespace platform;

namespace {

constexpr ColorRef kKey = Rgb(0, 0, 255);

// What a transparent cell drawing must give: key pixels show `under`,
// all others the cell's own pixel.
ColorRef Composite(const Bitmap& skin, int cell, int cell_w, int x, int y, ColorRef under,
                   ColorRef key) {
  ColorRef p = skin.GetPixel(cell * cell_w + x, y);
  return p == key ? under : p;
}

// A small BMP (24-bit, top-down) from pixels, for skins made in the test.
std::vector<uint8_t> MakeBmp(int w, int h, const std::vector<ColorRef>& px) {
  int stride = (w * 3 + 3) & ~3;
  std::vector<uint8_t> f(54 + stride * h, 0);
  f[0] = 'B';
  f[1] = 'M';
  f[10] = 54;
  f[14] = 40;
  memcpy(&f[18], &w, 4);
  int32_t top_down = -h;
  memcpy(&f[22], &top_down, 4);
  f[26] = 1;
  f[28] = 24;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      ColorRef c = px[y * w + x];
      uint8_t* p = &f[54 + y * stride + x * 3];
      p[0] = BlueOf(c);
      p[1] = GreenOf(c);
      p[2] = RedOf(c);
    }
  return f;
}

// Registers a test skin under `id`; resources are never copied, so the
// bytes live as long as the program.
void RegisterSkin(int id, int w, int h, const std::vector<ColorRef>& px) {
  static std::list<std::vector<uint8_t>> storage;
  storage.push_back(MakeBmp(w, h, px));
  RegisterResource(ResourceType::kBitmap, id, storage.back().data(), storage.back().size());
}

class TuvTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(InitGui("offscreen")); }
};

TEST_F(TuvTest, CellSizesOfTheLauncherSkins) {
  CTuvBmp bmp;
  for (int id : {145, 146, 147}) {
    ASSERT_TRUE(bmp.LoadCells(id)) << id;
    EXPECT_EQ(bmp.FullWidth(), 244);
    EXPECT_EQ(bmp.CellWidth(), 61);
    EXPECT_EQ(bmp.CellHeight(), 34);
  }
  ASSERT_TRUE(bmp.LoadCells(148));
  EXPECT_EQ(bmp.CellWidth(), 78);
  EXPECT_EQ(bmp.CellHeight(), 22);
  EXPECT_EQ(bmp.Info().width, 312);
  EXPECT_EQ(bmp.Info().height, 22);
  // A missing resource leaves the loaded skin in place.
  EXPECT_FALSE(bmp.LoadCells(4711));
  EXPECT_EQ(bmp.CellWidth(), 78);
}

TEST_F(TuvTest, LauncherArtHasTheSizesTheWindowDrawsWith) {
  EXPECT_EQ(LoadBitmapResource(140).Width(), 405);
  EXPECT_EQ(LoadBitmapResource(140).Height(), 218);
  EXPECT_EQ(LoadBitmapResource(141).Width(), 500);
  EXPECT_EQ(LoadBitmapResource(141).Height(), 18);
  EXPECT_EQ(LoadIconResource(128, 32).Width(), 32);
  EXPECT_EQ(LoadIconResource(128, 16).Width(), 16);
}

TEST_F(TuvTest, EveryCellDrawsTransparentlyOverTheBackground) {
  Bitmap background = LoadBitmapResource(140);
  for (int id : {145, 148}) {
    Bitmap skin = LoadBitmapResource(id);
    CTuvBmp bmp;
    ASSERT_TRUE(bmp.LoadCells(id));
    int w = bmp.CellWidth(), h = bmp.CellHeight();
    const int x0 = 320, y0 = 185;
    for (int cell = 0; cell < 4; ++cell) {
      Bitmap target = background;
      MemoryDc dc;
      dc.SelectBitmap(&target);
      bmp.DrawCell(dc, cell, x0, y0, kKey);
      int keys = 0;
      for (int y = 0; y < 218; ++y)
        for (int x = 0; x < 405; ++x) {
          bool inside = x >= x0 && x < x0 + w && y >= y0 && y < y0 + h;
          ColorRef want =
              inside ? Composite(skin, cell, w, x - x0, y - y0, background.GetPixel(x, y), kKey)
                     : background.GetPixel(x, y);
          if (inside && skin.GetPixel(cell * w + x - x0, y - y0) == kKey) ++keys;
          ASSERT_EQ(target.GetPixel(x, y), want)
              << "skin " << id << " cell " << cell << " at " << x << "," << y;
        }
      EXPECT_GT(keys, 0) << "the skin's corners are transparent";
    }
  }
}

TEST_F(TuvTest, OnlyTheGivenKeyColourIsTransparent) {
  // Cells of 2 x 2: magenta is the key here, so blue is opaque.
  const ColorRef m = Rgb(255, 0, 255), b = kKey, g = Rgb(0, 128, 0);
  RegisterSkin(9001, 8, 2, {m, b, g, g, g, m, m, m, b, m, g, g, g, b, m, m});
  CTuvBmp bmp;
  ASSERT_TRUE(bmp.LoadCells(9001));
  Bitmap target = Bitmap::Colour(4, 4);
  MemoryDc dc;
  dc.SelectBitmap(&target);
  dc.FillSolidRect({0, 0, 4, 4}, Rgb(9, 9, 9));
  bmp.DrawCell(dc, 0, 1, 1, m);
  EXPECT_EQ(target.GetPixel(1, 1), Rgb(9, 9, 9));
  EXPECT_EQ(target.GetPixel(2, 1), b);
  EXPECT_EQ(target.GetPixel(1, 2), b);
  EXPECT_EQ(target.GetPixel(2, 2), Rgb(9, 9, 9));
  EXPECT_EQ(target.GetPixel(0, 0), Rgb(9, 9, 9));
  EXPECT_EQ(target.GetPixel(3, 3), Rgb(9, 9, 9));
}

TEST_F(TuvTest, RemainderColumnsAndCellsOutsideTheFourAreNeverDrawn) {
  // 10 x 1: cells of 2; columns 8 and 9 are left over.
  std::vector<ColorRef> px;
  for (int x = 0; x < 10; ++x) px.push_back(Rgb(x * 20, 0, 0));
  RegisterSkin(9002, 10, 1, px);
  CTuvBmp bmp;
  ASSERT_TRUE(bmp.LoadCells(9002));
  EXPECT_EQ(bmp.CellWidth(), 2);
  Bitmap target = Bitmap::Colour(6, 1);
  MemoryDc dc;
  dc.SelectBitmap(&target);
  bmp.DrawCell(dc, 3, 0, 0, kKey);
  EXPECT_EQ(target.GetPixel(0, 0), Rgb(120, 0, 0));
  EXPECT_EQ(target.GetPixel(1, 0), Rgb(140, 0, 0));
  EXPECT_EQ(target.GetPixel(2, 0), Rgb(0, 0, 0));
  for (int bad : {-1, 4, 7}) bmp.DrawCell(dc, bad, 2, 0, kKey);
  for (int x = 2; x < 6; ++x) EXPECT_EQ(target.GetPixel(x, 0), Rgb(0, 0, 0));
}

DialogTemplate HostDescription() {
  DialogTemplate t;
  t.dialogUnits = false;
  t.size = {405, 218};
  t.style = kStylePopup | kStyleVisible | kStyleSysMenu;
  t.controls.push_back({ControlTemplate::kOwnerDrawButton, 1009, {10, 10, 200, 100}, ""});
  t.controls.push_back({ControlTemplate::kOwnerDrawButton, 1010, {220, 150, 230, 155}, ""});
  return t;
}

// A window like the launcher's: paints the background bitmap (or one
// colour) and records the buttons' clicks.
class Host : public Dialog {
 public:
  Host() : Dialog(HostDescription()), background_(LoadBitmapResource(140)) {
    AttachControl(1009, &cancel);
    AttachControl(1010, &start);
  }
  CTuvButton cancel, start;
  std::vector<int32_t> clicks;
  bool solid = false;
  ColorRef solid_colour = Rgb(0, 0, 0);
  const Bitmap& background() const { return background_; }

 protected:
  bool OnInitDialog() override {
    EXPECT_TRUE(cancel.SetSkin(148, kKey));
    EXPECT_TRUE(start.SetSkin(145, kKey));
    return true;
  }
  bool OnEraseBackground(Dc&) override { return true; }
  void OnPaint(Dc& dc) override {
    if (solid) {
      dc.FillSolidRect(GetClientRect(), solid_colour);
      return;
    }
    MemoryDc src;
    src.SelectBitmap(&background_);
    dc.BitBlt(0, 0, 405, 218, &src, 0, 0, kSrcCopy);
    src.SelectBitmap(nullptr);
  }
  void OnCommand(int32_t id) override { clicks.push_back(id); }

 private:
  Bitmap background_;
};

class TuvButtonTest : public TuvTest {
 protected:
  void SetUp() override {
    TuvTest::SetUp();
    ASSERT_TRUE(host.Create());
    gui_testing::PumpMessages(10);
    skin148 = LoadBitmapResource(148);
  }
  // The button's pixels must be `cell` drawn over what lies under it.
  void ExpectCell(int cell, const char* why) {
    Bitmap shot = gui_testing::CaptureWindow(host.cancel);
    Rect r = host.cancel.RectInParent();
    ASSERT_EQ(shot.Width(), 78);
    for (int y = 0; y < 22; ++y)
      for (int x = 0; x < 78; ++x) {
        ColorRef under =
            host.solid ? host.solid_colour : host.background().GetPixel(r.left + x, r.top + y);
        ASSERT_EQ(shot.GetPixel(x, y), Composite(skin148, cell, 78, x, y, under, kKey))
            << why << ": cell " << cell << " at " << x << "," << y;
      }
  }
  Host host;
  Bitmap skin148;
};

TEST_F(TuvButtonTest, SetSkinMakesTheButtonExactlyOneCell) {
  EXPECT_EQ(host.cancel.GetClientRect(), (Rect{0, 0, 78, 22}));
  EXPECT_EQ(host.cancel.OwnRect(), (Rect{0, 0, 78, 22}));
  EXPECT_EQ(host.cancel.RectInParent(), (Rect{10, 10, 88, 32}));
  // A smaller button grows to one cell as well.
  EXPECT_EQ(host.start.GetClientRect(), (Rect{0, 0, 61, 34}));
  EXPECT_EQ(host.start.RectInParent(), (Rect{220, 150, 281, 184}));
  // Moved first, skinned again: the skin keeps the new position.
  host.cancel.Move({320, 185, 330, 190});
  EXPECT_TRUE(host.cancel.SetSkin(148, kKey));
  EXPECT_EQ(host.cancel.RectInParent(), (Rect{320, 185, 398, 207}));
  EXPECT_EQ(host.cancel.GetClientRect(), (Rect{0, 0, 78, 22}));
}

TEST_F(TuvButtonTest, CellFollowsHoverAndPress) {
  ExpectCell(0, "at rest");
  gui_testing::InjectMouseMove(host.cancel, {40, 11});
  ASSERT_TRUE(gui_testing::PumpUntil([&] { return host.cancel.Hover() == 1; }, 1000));
  gui_testing::PumpMessages(5);
  EXPECT_EQ(host.cancel.Tracking(), 1);
  ExpectCell(1, "hover");
  gui_testing::InjectMouseButton(host.cancel, {40, 11}, true);
  gui_testing::PumpMessages(10);
  ExpectCell(2, "pressed");
  gui_testing::InjectMouseButton(host.cancel, {40, 11}, false);
  gui_testing::PumpMessages(10);
  EXPECT_EQ(host.clicks, std::vector<int32_t>{1009});
  ExpectCell(1, "released, still over it");
  // Leave: hover and tracking off; the next move asks for tracking again.
  gui_testing::InjectMouseMove(host, {300, 100});
  gui_testing::PumpMessages(10);
  EXPECT_EQ(host.cancel.Hover(), 0);
  EXPECT_EQ(host.cancel.Tracking(), 0);
  ExpectCell(0, "after leaving");
  gui_testing::InjectMouseMove(host.cancel, {5, 5});
  gui_testing::PumpMessages(10);
  EXPECT_EQ(host.cancel.Tracking(), 1);
}

TEST_F(TuvButtonTest, DisabledLookBeatsHoverAndPressAndSwallowsClicks) {
  host.cancel.SetDisabledLook();
  gui_testing::PumpMessages(5);
  ExpectCell(3, "disabled look");
  gui_testing::InjectMouseMove(host.cancel, {40, 11});
  ASSERT_TRUE(gui_testing::PumpUntil([&] { return host.cancel.Hover() == 1; }, 1000));
  gui_testing::PumpMessages(5);
  ExpectCell(3, "disabled look while hovering");
  ASSERT_TRUE(host.cancel.IsEnabled());
  gui_testing::InjectMouseButton(host.cancel, {40, 11}, true);
  gui_testing::PumpMessages(10);
  EXPECT_FALSE(host.cancel.IsPressed());
  ExpectCell(3, "disabled look while the mouse is down");
  gui_testing::InjectMouseButton(host.cancel, {40, 11}, false);
  gui_testing::PumpMessages(10);
  EXPECT_TRUE(host.clicks.empty());
  host.cancel.ClearDisabledLook();
  gui_testing::PumpMessages(5);
  ExpectCell(1, "look cleared, mouse still over it");
}

TEST_F(TuvButtonTest, DisabledLookCanBeSetFromAWorker) {
  std::thread worker([&] { host.cancel.SetDisabledLook(); });
  ASSERT_TRUE(gui_testing::PumpUntil([&] { return host.cancel.DisabledLook() == 1; }, 2000));
  worker.join();
  gui_testing::PumpMessages(5);
  ExpectCell(3, "disabled from a worker");
}

TEST_F(TuvButtonTest, OnTheParentsBackBufferAPressedButtonShowsHover) {
  gui_testing::InjectMouseMove(host.cancel, {40, 11});
  ASSERT_TRUE(gui_testing::PumpUntil([&] { return host.cancel.Hover() == 1; }, 1000));
  gui_testing::InjectMouseButton(host.cancel, {40, 11}, true);
  gui_testing::PumpMessages(10);
  ASSERT_TRUE(host.cancel.IsPressed());
  Bitmap back = Bitmap::Colour(640, 410);
  MemoryDc dc;
  dc.SelectBitmap(&back);
  dc.FillSolidRect({0, 0, 640, 410}, Rgb(7, 7, 7));
  host.cancel.DrawOnParent(dc);
  for (int y = 0; y < 22; ++y)
    for (int x = 0; x < 78; ++x)
      ASSERT_EQ(back.GetPixel(10 + x, 10 + y), Composite(skin148, 1, 78, x, y, Rgb(7, 7, 7), kKey));
  host.cancel.SetDisabledLook();
  host.cancel.DrawOnParent(dc);
  EXPECT_EQ(back.GetPixel(10 + 39, 10 + 11), skin148.GetPixel(3 * 78 + 39, 11));
  gui_testing::InjectMouseButton(host.cancel, {40, 11}, false);
  gui_testing::PumpMessages(5);
}

TEST_F(TuvButtonTest, ErasingCopiesTheParentsPixelsUnderTheButton) {
  host.solid = true;
  host.solid_colour = Rgb(200, 30, 90);
  host.Invalidate(false);
  host.UpdateWindow();  // the parent's picture now covers the button too
  host.cancel.Invalidate(true);
  host.cancel.UpdateWindow();
  ExpectCell(0, "over the parent's new picture");
}

TEST_F(TuvButtonTest, TheButtonKeepsTheCursorAsItIs) {
  SetCursor(Cursor::kWait);
  gui_testing::InjectMouseMove(host.cancel, {3, 3});
  gui_testing::PumpMessages(10);
  EXPECT_EQ(GetCursor(), Cursor::kWait);
  gui_testing::InjectMouseMove(host, {300, 100});
  gui_testing::PumpMessages(10);
  EXPECT_EQ(GetCursor(), Cursor::kArrow);
}

}  // namespace

}  // namespace kivro
