// On Windows a URL scheme's handler is the registry entry under the
// scheme's key (Shell\Open\Command), which the plug-in's registration
// writes; there is no desktop entry to write.
#include "platform/process_scheme_handler.h"

namespace platform {

bool InstallUrlSchemeHandler(const std::string&, const std::string&) { return true; }

std::string UrlSchemeHandlerPath(const std::string&) { return std::string(); }

// A desktop entry's Exec quoting is a desktop notion; Windows has none, so
// the argument passes as it is.
std::string DesktopExecQuote(const std::string& posix_argument) { return posix_argument; }

}  // namespace platform
