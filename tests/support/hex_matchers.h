#pragma once
// Matchers for digests in lowercase hex. GoogleTest's regular expressions on
// Windows know neither [] nor {}, so these spell the shape out.

#include <gmock/gmock.h>

#include <string>
#include <string_view>

namespace velmora::test_support {

inline bool IsLowerHexText(std::string_view text, std::size_t length) {
    return text.size() == length && text.find_first_not_of("0123456789abcdef") == text.npos;
}

MATCHER_P(IsLowerHex, length,
          std::string(negation ? "isn't " : "is ") + std::to_string(length) +
              " lowercase hex digits") {
    return IsLowerHexText(arg, length);
}

// `marker` then `length` lowercase hex digits end the text.
MATCHER_P2(EndsWithLowerHexAfter, marker, length,
           std::string(negation ? "doesn't end" : "ends") + " with " + marker + " and " +
               std::to_string(length) + " lowercase hex digits") {
    const std::string_view text(arg);
    const std::string_view mark(marker);
    return text.size() >= mark.size() + length &&
           text.substr(text.size() - length - mark.size(), mark.size()) == mark &&
           IsLowerHexText(text.substr(text.size() - length), length);
}

}  // namespace velmora::test_support
