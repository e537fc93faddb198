// The IPv4 addresses of this machine's interfaces, loopback included: tests
// that need a server the client sees as outside pick one that is not
// internal and listen there.
#pragma once
#include <string>
#include <vector>

namespace platform {

std::vector<std::string> LocalIpv4Addresses();

}  // namespace platform
