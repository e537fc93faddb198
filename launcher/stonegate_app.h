// CStonegateApp: the installer/launcher program. It shows the launcher
// window modally (on the screen, or on the terminal when there is no
// display) and ends when the window closes. The command line is not read.
#pragma once
#include <cstdint>
#include <string>

namespace kivro {

class I_StonegateSurface;

class CStonegateApp {
 public:
  // Runs the program; the arguments are ignored (the web plug-in passes its
  // whole URL). Answers the program's exit code.
  int Run(int argc, char** argv);
  // Shows the window and runs it; false, so that no message loop follows.
  bool InitInstance();

  // 0 when the game was started; 1 when a failure was shown; 2 when the
  // window was closed otherwise (cancel, exit, a window that could not be
  // made). Nothing reads it but scripts.
  int ExitCode() const { return exit_code_; }

 private:
  std::string registry_key_;
  int exit_code_ = 2;
};

// The one application object.
extern CStonegateApp theApp;

namespace launcher {
// The surface the program shows its window on: the skinned window when a
// display is present, else the terminal. Never null.
I_StonegateSurface* CreateProgramSurface();
}  // namespace launcher

}  // namespace kivro
