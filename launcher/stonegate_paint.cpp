#include "launcher/stonegate_paint.h"

namespace kivro::launcher {

int32_t BarWidth(int32_t value) {
  if (value < 0) value = 0;
  if (value > 100) value = 100;
  return value * kBarFullWidth / 100;
}

platform::Region LauncherClipRegion(const platform::Rect& window, const platform::Rect& pane) {
  platform::Region region;
  region.CombineFrom(platform::Region::FromRect({0, 0, window.Width(), window.Height()}),
                     platform::Region::FromRect(pane), platform::Region::kXor);
  return region;
}

void PaintBackBuffer(platform::Dc& back, const CStonegateDlg::View& view, const PaintParts& parts) {
  if (parts.background != nullptr) {
    platform::MemoryDc source;
    source.SelectBitmap(const_cast<platform::Bitmap*>(parts.background));
    back.BitBlt(0, 0, kBackBufferWidth, kBackBufferHeight, &source, 0, 0, platform::kSrcCopy);
    source.SelectBitmap(nullptr);
  }
  const int32_t values[3] = {view.bars[kBarInstall], view.bars[kBarFile], view.bars[kBarThird]};
  const platform::Point bars_at[3] = {kInstallBarAt, kFileBarAt, kThirdBarAt};
  if (parts.strip != nullptr && (values[0] > 0 || values[1] > 0 || values[2] > 0)) {
    platform::MemoryDc strip;
    strip.SelectBitmap(const_cast<platform::Bitmap*>(parts.strip));
    for (int i = 0; i < 3; ++i) {
      if (values[i] <= 0) continue;
      back.BitBlt(bars_at[i].x, bars_at[i].y, BarWidth(values[i]), kBarHeight, &strip, 0, 0,
                  platform::kSrcCopy);
    }
    strip.SelectBitmap(nullptr);
  }
  const platform::Font* previous = back.SelectFont(parts.font);
  back.SetBkMode(platform::kTransparent);
  back.SetTextColor(platform::Rgb(0, 0, 0));
  back.DrawTextAt(kInstallTextAt.x, kInstallTextAt.y, view.texts[kLineInstall]);
  back.DrawTextAt(kFileTextAt.x, kFileTextAt.y, view.texts[kLineFile]);
  back.DrawTextAt(kThirdTextAt.x, kThirdTextAt.y, view.texts[kLineThird]);
  back.SelectFont(previous);
  if (parts.draw_buttons != nullptr) parts.draw_buttons(back, parts.context);
}

}  // namespace kivro::launcher
