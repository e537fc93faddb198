// URL schemes handled by a program: on POSIX desktops a browser opens a
// "<scheme>:" link through a desktop entry that is the default handler of
// the MIME type x-scheme-handler/<scheme>. Installing one lets the same
// program that the registry's Shell\Open\Command names be started from links
// on Linux. On Windows the registry entry is the handler and this does
// nothing.
#pragma once
#include <string>

namespace platform {

// Writes "kivro-<scheme>.desktop" (scheme lower-cased) into the user's XDG
// applications folder ($XDG_DATA_HOME/applications, by default
// ~/.local/share/applications), running `program` (a Windows path) with the
// URL as its only argument, and makes it the default handler of
// x-scheme-handler/<scheme> in $XDG_CONFIG_HOME/mimeapps.list (by default
// ~/.config/mimeapps.list), keeping every other line of that file. Both the
// lower-cased scheme (what browsers pass on) and the scheme as written (what
// xdg-open looks up for a link written that way) are registered. Both files
// are replaced atomically. Schemes are letters, digits, '+', '-' and '.'.
bool InstallUrlSchemeHandler(const std::string& scheme, const std::string& program);

// The desktop-entry file and its Exec line, for tests and tools.
std::string UrlSchemeHandlerPath(const std::string& scheme);
std::string DesktopExecQuote(const std::string& posix_argument);

}  // namespace platform
