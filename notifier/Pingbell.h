// CPingbellApp: the notifier program. It shows its dialog once, modally,
// and ends when the dialog closes, whichever way. It reads no command line.
#pragma once
#include <cstdint>

namespace kivro {

class CPingbellApp {
 public:
  // Runs the program; returns its exit code (always 0: the dialog's result
  // carries no meaning). Without a display the dialog cannot be answered by
  // anyone, so the title goes to stderr and the program ends as if OK had
  // been pressed: a caller waiting for it is never blocked.
  int Run();
  // The button that ended the dialog (kIdOk without a display), for tests.
  int32_t LastResult() const { return last_result_; }

 private:
  int32_t last_result_ = 0;
};

}  // namespace kivro
