#pragma once
// The settings page's poll interval as typed: a whole number of minutes from
// 5 to 999. Each desktop's page shows the message and keeps the user on it.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace velmora {

inline constexpr std::uint32_t kMinInterval = 5;
inline constexpr std::uint32_t kMaxInterval = 999;

struct IntervalEntry {
    std::optional<std::uint32_t> minutes;  // set when the text is accepted
    std::string message;                   // otherwise what to tell the user (CP932)
};

// `typed` is what the field holds (digits only, as the field accepts no other).
IntervalEntry CheckIntervalText(std::string_view typed);

}  // namespace velmora
