#include "core/delivery/clock.h"

#include <time.h>

#include <string_view>

namespace velmora {

namespace {

constexpr std::string_view kSigningOffset = "+09:00";
constexpr std::string_view kQueryOffset = "%2B09:00";

// "%Y-%m-%dT%H:%M:%S" of the local wall time at `when`.
std::string FormatLocalTime(std::time_t when) {
    std::tm local{};
    // A reading the calendar cannot hold (only a broken clock gives one) is
    // taken as the epoch rather than formatting garbage.
    if (localtime_r(&when, &local) == nullptr) {
        const std::time_t epoch = 0;
        localtime_r(&epoch, &local);
    }
    std::string text(64, '\0');
    const std::size_t length = std::strftime(text.data(), text.size(), "%Y-%m-%dT%H:%M:%S", &local);
    text.resize(length);
    return text;
}

}  // namespace

std::time_t SystemClock::Now() const {
    return std::time(nullptr);
}

RequestTime ReadRequestTime(const Clock& clock) {
    // Picks up a time zone change of the running session, as the desktop's own clock does.
    tzset();
    const std::string wallTime = FormatLocalTime(clock.Now());
    RequestTime time;
    time.signingTime = wallTime;
    time.signingTime += kSigningOffset;
    time.queryTime = wallTime;
    time.queryTime += kQueryOffset;
    return time;
}

}  // namespace velmora
