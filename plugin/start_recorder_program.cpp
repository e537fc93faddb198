// kivro_test_start_recorder: stands in for KIVROInstaller.exe and
// Pingbell.exe in the plug-in's Windows tests. Placed under their names, it
// appends one line to the file beside itself named like it with ".log"
// added: how it was called (its own path), then each argument in brackets.
// Both ways the plug-in starts programs (its start methods and the URL
// protocols) name the program by its full path.
#include <cstdio>
#include <string>

int main(int argc, char** argv) {
  if (argc < 1 || argv[0] == nullptr) return 1;
  std::string line = argv[0];
  for (int i = 1; i < argc; ++i) line += std::string(" [") + argv[i] + "]";
  line += "\n";
  std::FILE* log = std::fopen((std::string(argv[0]) + ".log").c_str(), "ab");
  if (log == nullptr) return 1;
  std::fputs(line.c_str(), log);
  std::fclose(log);
  return 0;
}
