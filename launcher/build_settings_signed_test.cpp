// The build settings of a test-only launcher: the test key of
// launcher/test_data built in, and the download hosts taken from
// KIVRO_TEST_LAUNCHER_HOSTS, so that tests serve on free ports. Never
// shipped: the real program reads no environment for its hosts.
#include <cstdlib>

#include "launcher/build_settings.h"

namespace kivro::launcher {

const char* BuiltInDownloadHosts() {
  const char* hosts = std::getenv("KIVRO_TEST_LAUNCHER_HOSTS");
  return hosts != nullptr ? hosts : "127.0.0.1:1";
}
const char* BuiltInReleaseKey() { return KIVRO_TEST_RELEASE_PUBKEY; }

}  // namespace kivro::launcher
