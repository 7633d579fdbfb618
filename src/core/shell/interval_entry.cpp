#include "core/shell/interval_entry.h"

#include "core/text/cp932.h"

namespace velmora {
namespace {

// A whole number that fits 32 bits; nothing for anything else.
std::optional<std::uint64_t> WholeNumber(std::string_view typed) {
    if (typed.empty() || typed.size() > 10) return std::nullopt;
    std::uint64_t value = 0;
    for (char c : typed) {
        if (c < '0' || c > '9') return std::nullopt;
        value = value * 10 + static_cast<std::uint64_t>(c - '0');
    }
    if (value > 0xFFFFFFFFull) return std::nullopt;
    return value;
}

}  // namespace

IntervalEntry CheckIntervalText(std::string_view typed) {
    const std::optional<std::uint64_t> value = WholeNumber(typed);
    if (!value) return {std::nullopt, text::Utf8ToCp932("整数を入力してください。")};
    if (*value < kMinInterval || *value > kMaxInterval) {
        return {std::nullopt, text::Utf8ToCp932(std::to_string(kMinInterval) + " から " +
                                                std::to_string(kMaxInterval) +
                                                " までの整数を入力してください。")};
    }
    return {static_cast<std::uint32_t>(*value), {}};
}

}  // namespace velmora
