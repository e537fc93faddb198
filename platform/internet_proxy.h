// The proxy a session uses unless it is given one: the one the user set for
// the whole system where the system keeps one (Windows: the user's Internet
// settings, when a proxy is enabled there), else the environment's
// http_proxy, ftp_proxy and no_proxy (ProxySettings::FromEnvironment).
#pragma once
#include "platform/internet_parse.h"

namespace platform {

ProxySettings PreconfiguredProxies();

}  // namespace platform
