// Pingbell: the notifier. Any command line (a "ZelNoti:" URL when started
// through its protocol) is ignored.
#include "notifier/Pingbell.h"

int main() {
  CPingbellApp app;
  return app.Run();
}
