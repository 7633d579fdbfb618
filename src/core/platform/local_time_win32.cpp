#include <time.h>

#include "core/platform/local_time.h"

namespace velmora::platform {

std::optional<std::tm> LocalTime(std::time_t when) {
    _tzset();
    std::tm local{};
    if (localtime_s(&local, &when) != 0) return std::nullopt;
    return local;
}

}  // namespace velmora::platform
