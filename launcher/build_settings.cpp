#include "launcher/build_settings.h"

#ifndef KIVRO_DOWNLOAD_HOST
#define KIVRO_DOWNLOAD_HOST "127.0.0.1:18080"
#endif
#ifndef KIVRO_RELEASE_PUBKEY
#define KIVRO_RELEASE_PUBKEY ""
#endif

namespace kivro::launcher {

const char* BuiltInDownloadHosts() { return KIVRO_DOWNLOAD_HOST; }
const char* BuiltInReleaseKey() { return KIVRO_RELEASE_PUBKEY; }

}  // namespace kivro::launcher
