#include "core/delivery/clock.h"

#include <optional>
#include <string_view>

#include "core/platform/local_time.h"

namespace velmora {

namespace {

constexpr std::string_view kSigningOffset = "+09:00";
constexpr std::string_view kQueryOffset = "%2B09:00";

// "%Y-%m-%dT%H:%M:%S" of the local wall time at `when`.
std::string FormatLocalTime(std::time_t when) {
    // A reading the calendar cannot hold (only a broken clock gives one) is
    // taken as the epoch rather than formatting garbage.
    std::optional<std::tm> local = platform::LocalTime(when);
    if (!local) local = platform::LocalTime(0);
    const std::tm wall = local.value_or(std::tm{});
    std::string text(64, '\0');
    const std::size_t length = std::strftime(text.data(), text.size(), "%Y-%m-%dT%H:%M:%S", &wall);
    text.resize(length);
    return text;
}

}  // namespace

std::time_t SystemClock::Now() const {
    return std::time(nullptr);
}

RequestTime ReadRequestTime(const Clock& clock) {
    // LocalTime picks up a time zone change of the running session, as the
    // desktop's own clock does.
    const std::string wallTime = FormatLocalTime(clock.Now());
    RequestTime time;
    time.signingTime = wallTime;
    time.signingTime += kSigningOffset;
    time.queryTime = wallTime;
    time.queryTime += kQueryOffset;
    return time;
}

}  // namespace velmora
