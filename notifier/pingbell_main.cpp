// Pingbell: the notifier. Any command line (a "ZelNoti:" URL when started
// through its protocol) is ignored.
#include "notifier/Pingbell.h"
#include "platform/initialize.h"

using namespace kivro;

int main() {
  platform::Initialize();
  CPingbellApp app;
  return app.Run();
}
