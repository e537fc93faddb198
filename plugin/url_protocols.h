// The URL protocols "Zelmora" and "ZelNoti": a page opens "Zelmora:..." and
// the shell starts the installer/launcher (or, for ZelNoti, the notifier)
// from "Downloaded Program Files" under the Windows directory with the whole
// URL as its only argument.
#pragma once
#include <string>

namespace kivro::plugin {

// Writes HKCR\<protocol> ("URL Protocol" = "") and
// HKCR\<protocol>\Shell\Open\Command (the command), and on desktops without
// that registry a desktop-entry handler for the scheme. Failures are
// ignored by every caller; a partial result stays.
void RegisterUrlProtocol(const std::string& protocol, const std::string& program_tail);
void RegisterBothUrlProtocols();

// The command: the program's full path in quotes, then "%1" in quotes, so a
// blank in the folder names neither starts another program nor splits the URL.
std::string UrlProtocolCommand(const std::string& program_path);

}  // namespace kivro::plugin
