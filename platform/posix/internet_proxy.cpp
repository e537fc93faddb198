#include "platform/internet_proxy.h"

namespace platform {

// POSIX systems keep no proxy setting of their own: the environment is it.
ProxySettings PreconfiguredProxies() { return ProxySettings::FromEnvironment(); }

}  // namespace platform
