#include "platform/process_scheme_handler.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "platform/codepage.h"
#include "platform/error.h"
#include "platform/paths.h"
#include "platform/posix/errno_map.h"
#include "platform/posix/fd_io.h"

namespace platform {

namespace {

std::string XdgFolder(const char* variable, const char* fallback) {
  const char* value = std::getenv(variable);
  if (value != nullptr && value[0] == '/') return value;
  const char* home = std::getenv("HOME");
  return std::string(home ? home : "") + "/" + fallback;
}

bool MakeDirectories(const std::string& path) {
  for (size_t i = 1; i <= path.size(); ++i) {
    if (i == path.size() || path[i] == '/') {
      if (mkdir(path.substr(0, i).c_str(), 0755) != 0 && errno != EEXIST) return false;
    }
  }
  return true;
}

bool ReplaceFileAtomically(const std::string& path, const std::string& content) {
  // The handler is installed again each time the plug-in hands out its
  // class object: an unchanged file is left alone.
  std::string current;
  if (ReadPosixFile(path, &current, true) && current == content && !content.empty()) return true;
  return ReplaceFileContent(path + ".kivro-tmp", path, content) || FailWithErrno();
}

bool ValidScheme(const std::string& scheme) {
  if (scheme.empty()) return false;
  for (char c : scheme) {
    bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
              c == '+' || c == '-' || c == '.';
    if (!ok) return false;
  }
  return true;
}

// Sets "<key>=<value>" in the [Default Applications] group, adding the group
// or the line when missing; every other line stays as it was.
std::string SetDefaultApplication(const std::string& text, const std::string& key,
                                  const std::string& value) {
  std::string out;
  bool in_group = false, done = false, had_group = false;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(start, end - start);
    start = end + 1;
    if (!line.empty() && line[0] == '[') {
      if (in_group && !done) {
        out += key + "=" + value + "\n";
        done = true;
      }
      in_group = line == "[Default Applications]";
      had_group |= in_group;
    } else if (in_group) {
      size_t eq = line.find('=');
      if (eq != std::string::npos && line.substr(0, eq) == key) {
        if (!done) out += key + "=" + value + "\n";
        done = true;
        continue;
      }
    }
    out += line + "\n";
  }
  if (!done) {
    if (!had_group) out += "[Default Applications]\n";
    out += key + "=" + value + "\n";
  }
  return out;
}

// Browsers lower-case a link's scheme, while xdg-open looks the handler up by
// the scheme as the link writes it: both forms are registered.
std::string MimeTypes(const std::string& scheme) {
  std::string lower = ToLowerAscii(scheme);
  std::string types = "x-scheme-handler/" + lower + ";";
  if (scheme != lower) types += "x-scheme-handler/" + scheme + ";";
  return types;
}

}  // namespace

std::string UrlSchemeHandlerPath(const std::string& scheme) {
  return XdgFolder("XDG_DATA_HOME", ".local/share") + "/applications/kivro-" +
         ToLowerAscii(scheme) + ".desktop";
}

// An Exec argument in double quotes: inside them `"`, `` ` ``, `$` and `\`
// take a backslash; then the whole value is escaped as a desktop-file
// string (a backslash doubled) and '%' becomes "%%" (it starts field codes).
std::string DesktopExecQuote(const std::string& argument) {
  std::string quoted = "\"";
  for (char c : argument) {
    if (c == '"' || c == '`' || c == '$' || c == '\\') quoted.push_back('\\');
    quoted.push_back(c);
  }
  quoted += "\"";
  std::string out;
  for (char c : quoted) {
    if (c == '\\') out += "\\\\";
    else if (c == '%') out += "%%";
    else if (c == '\n' || c == '\r') out += ' ';  // a line break would end the entry
    else out.push_back(c);
  }
  return out;
}

bool InstallUrlSchemeHandler(const std::string& scheme, const std::string& program) {
  if (!ValidScheme(scheme) || program.empty()) {
    SetLastSystemError(kErrorInvalidParameter);
    return false;
  }
  std::string lower = ToLowerAscii(scheme);
  std::string entry_name = "kivro-" + lower + ".desktop";
  std::string posix_program = ToPosixPath(program);  // already UTF-8
  std::string entry =
      "[Desktop Entry]\n"
      "Type=Application\n"
      "Name=" + scheme + " link handler\n"
      "Exec=" + DesktopExecQuote(posix_program) + " %u\n"
      "Terminal=false\n"
      "NoDisplay=true\n"
      "MimeType=" + MimeTypes(scheme) + "\n";
  std::string applications = XdgFolder("XDG_DATA_HOME", ".local/share") + "/applications";
  std::string config = XdgFolder("XDG_CONFIG_HOME", ".config");
  if (!MakeDirectories(applications) || !MakeDirectories(config)) return FailWithErrno();
  if (!ReplaceFileAtomically(applications + "/" + entry_name, entry)) return false;
  std::string list;
  std::string list_path = config + "/mimeapps.list";
  if (!ReadPosixFile(list_path, &list, true)) return FailWithErrno();
  list = SetDefaultApplication(list, "x-scheme-handler/" + lower, entry_name);
  if (scheme != lower) list = SetDefaultApplication(list, "x-scheme-handler/" + scheme, entry_name);
  return ReplaceFileAtomically(list_path, list);
}

}  // namespace platform
