#include "plugin/url_protocols.h"

#include "platform/paths.h"
#include "platform/process_scheme_handler.h"
#include "platform/registry.h"

namespace kivro::plugin {

namespace {

constexpr platform::RegistryRoot kHkcr = platform::RegistryRoot::kClassesRoot;
// GetWindowsDirectory's buffer: 259 characters and the terminator. A longer
// folder is refused rather than cut, as a cut path would name another file.
constexpr size_t kMaxWindowsDirectory = 259;

}  // namespace

std::string UrlProtocolCommand(const std::string& program_path) {
  return "\"" + program_path + "\" \"%1\"";
}

void RegisterUrlProtocol(const std::string& protocol, const std::string& program_tail) {
  // Step 1: the protocol key; its outcome does not stop the command.
  if (platform::RegistryCreateKey(kHkcr, protocol)) {
    platform::RegistrySetString(kHkcr, protocol, "URL Protocol", "");
  }
  std::string windows = platform::WindowsDirectory();
  if (windows.empty() || windows.size() > kMaxWindowsDirectory) return;
  std::string program = windows + program_tail;
  if (!platform::RegistryCreateKey(kHkcr, protocol + "\\Shell\\Open\\Command")) return;
  platform::RegistrySetString(kHkcr, protocol + "\\Shell\\Open\\Command", "",
                              UrlProtocolCommand(program));
  platform::InstallUrlSchemeHandler(protocol, program);
}

void RegisterBothUrlProtocols() {
  RegisterUrlProtocol("Zelmora", "\\Downloaded Program Files\\KIVROInstaller.exe");
  RegisterUrlProtocol("ZelNoti", "\\Downloaded Program Files\\Pingbell.exe");
}

}  // namespace kivro::plugin
