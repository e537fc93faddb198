// URL canonicalisation, as the system canonicaliser does it with flags 0:
//  - scheme and host are lower-cased; the rest keeps its case;
//  - '\' in the path becomes '/';
//  - "." and ".." path segments are resolved (".." never climbs above "/");
//  - blanks, control bytes and the unsafe characters < > " { } | ^ ` and #
//    are percent-escaped; existing %XX escapes are kept as they are;
//  - bytes above 0x7F are taken as code page 949, converted to UTF-8 and
//    percent-escaped, as browsers send such addresses.
#pragma once
#include <cstddef>
#include <string>

namespace platform {

// Writes the canonical form of `url` into `out` (capacity `out_size`,
// terminator included). False, with kErrorInsufficientBuffer, when it does
// not fit (nothing is cut), or kErrorInternetInvalidUrl when `url` has no
// "scheme://".
bool CanonicalizeUrl(const char* url, char* out, size_t out_size);
std::string CanonicalizeUrl(const std::string& url);  // empty on failure

}  // namespace platform
