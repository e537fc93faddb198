#include "launcher/stonegate_dlg.h"
#include "platform/paths.h"
#include "platform/process.h"

namespace kivro::launcher {

void OpenGameThroughShell(const std::string& install_folder, const std::string& executable) {
  // The game finds its data relative to the current directory; a failed
  // start is not noticed (the window closes all the same).
  platform::ChangeCurrentDirectory(install_folder);
  platform::ShellOpen(executable, std::string(), std::string());
}

}  // namespace kivro::launcher
