// What is fixed when the launcher is built (CMake cache variables): the
// download hosts and the release key. They live in a translation unit of
// their own, so that a test-only build of the launcher can give its own.
#pragma once

namespace kivro::launcher {

// KIVRO_DOWNLOAD_HOST: "host[:port]", more comma-separated hosts being
// mirrors of the first.
const char* BuiltInDownloadHosts();
// KIVRO_RELEASE_PUBKEY: the base64 line of the minisign public key that
// releases must be signed with; empty: releases are not checked.
const char* BuiltInReleaseKey();

}  // namespace kivro::launcher
