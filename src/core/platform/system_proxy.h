#pragma once
// The proxy the desktop's own settings choose for an address, where the
// desktop keeps one apart from the environment (the Internet settings of
// Windows). None leaves the choice to libcurl, which reads http_proxy and its
// kin; an empty string is a direct connection.

#include <optional>
#include <string>

namespace velmora::platform {

std::optional<std::string> SystemProxyFor(const std::string& address);

}  // namespace velmora::platform
