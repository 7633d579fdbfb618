#pragma once
// The local wall-clock time of a clock reading, in the time zone the session
// has now (a change of zone while the program runs is picked up).

#include <ctime>
#include <optional>

namespace velmora::platform {

// None for a reading the calendar cannot hold (only a broken clock gives one).
std::optional<std::tm> LocalTime(std::time_t when);

}  // namespace velmora::platform
