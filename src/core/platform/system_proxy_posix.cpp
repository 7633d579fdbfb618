#include "core/platform/system_proxy.h"

namespace velmora::platform {

// Linux desktops hand their proxy to programs through the environment.
std::optional<std::string> SystemProxyFor(const std::string&) {
    return std::nullopt;
}

}  // namespace velmora::platform
