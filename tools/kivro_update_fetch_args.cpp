// The parts of `kivro-update fetch` that need no manager: argument forms
// and the progress line.
#include <cstdio>
#include <string>

#include "platform/paths.h"
#include "tools/kivro_update_fetch.h"
#include "update/roles.h"

namespace kivro {

namespace {
std::string Mebibytes(uint32_t bytes) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f", bytes / 1048576.0);
  return text;
}
}  // namespace

std::string FetchLocalPath(const std::string& argument) {
  bool windows = argument.size() >= 2 && argument[1] == ':' &&
                 ((argument[0] >= 'A' && argument[0] <= 'Z') || (argument[0] >= 'a' && argument[0] <= 'z'));
  return windows ? argument : platform::ToWindowsPath(argument);
}

std::string FetchProgressLine(uint32_t total, uint32_t received, int columns) {
  int32_t percent = ProgressPercent(received, total);
  std::string numbers = " " + std::to_string(percent) + "% " + Mebibytes(received) + "/" +
                        Mebibytes(total) + " MiB";
  int width = columns - 3 - static_cast<int>(numbers.size());
  if (width > 50) width = 50;
  if (width < 0) width = 0;
  int filled = width * percent / 100;
  std::string line = "[" + std::string(static_cast<size_t>(filled), '#') +
                     std::string(static_cast<size_t>(width - filled), ' ') + "]" + numbers;
  if (columns > 1 && static_cast<int>(line.size()) > columns - 1)
    line.resize(static_cast<size_t>(columns - 1));
  return line;
}

}  // namespace kivro
