#include <time.h>

#include "core/platform/local_time.h"

namespace velmora::platform {

std::optional<std::tm> LocalTime(std::time_t when) {
    tzset();
    std::tm local{};
    if (localtime_r(&when, &local) == nullptr) return std::nullopt;
    return local;
}

}  // namespace velmora::platform
