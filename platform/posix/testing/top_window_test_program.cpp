// kivro_test_top_window TITLE LOG answer|silent [Name=number]...
// A top-level window for tests: it carries the given properties, appends
// "message wparam lparam" to LOG for every message it is sent, and answers
// 1 (or never answers, with "silent"). LOG appears once the window is ready.
// It ends when killed or when its parent ends.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/codepage.h"
#include "platform/top_windows.h"

int main(int argc, char** argv) {
  if (argc < 4) {
    std::fprintf(stderr, "usage: %s TITLE LOG answer|silent [Name=number]...\n", argv[0]);
    return 2;
  }
  std::string log = argv[2];
  bool answer = std::string(argv[3]) == "answer";
  platform::MessageWindow window;
  // Arguments arrive in UTF-8, as a Linux program gets them; titles are
  // held in code page 949.
  if (!window.Create(platform::Utf8ToCp949(argv[1]), [&](platform::TopWindow, uint32_t message, uintptr_t w, intptr_t l) {
        if (FILE* f = std::fopen(log.c_str(), "a")) {
          std::fprintf(f, "%u %lu %ld\n", message, static_cast<unsigned long>(w), static_cast<long>(l));
          std::fclose(f);
        }
        return intptr_t{1};
      })) {
    std::fprintf(stderr, "no display\n");
    return 1;
  }
  for (int i = 4; i < argc; ++i) {
    std::string item = argv[i];
    size_t eq = item.find('=');
    if (eq == std::string::npos) continue;
    window.SetProperty(item.substr(0, eq), std::strtoul(item.c_str() + eq + 1, nullptr, 0));
  }
  std::string temp = log + ".part";
  if (FILE* f = std::fopen(temp.c_str(), "w")) std::fclose(f);
  std::rename(temp.c_str(), log.c_str());
  pid_t parent = getppid();
  while (getppid() == parent) {
    if (answer) window.Pump(50);
    else usleep(50000);
  }
  return 0;
}
