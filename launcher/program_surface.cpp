#include <cstring>

#include "launcher/console_surface.h"
#include "launcher/stonegate_app.h"
#include "launcher/stonegate_window.h"
#include "platform/window.h"

namespace kivro::launcher {

I_StonegateSurface* CreateProgramSurface() {
  // A screen when one can be opened; otherwise (no display, or the
  // toolkit's off-screen backend chosen) the terminal, where a person can
  // follow what happens.
  if (platform::InitGui() && platform::HasScreen()) {
    return new StonegateWindow();
  }
  return new ConsoleSurface(ConsoleSurface::ForStandardStreams());
}

}  // namespace kivro::launcher
