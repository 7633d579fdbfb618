#pragma once
// The length of one UTF-8 sequence, as both CP932 twins step through a text.

#include <cstddef>
#include <string_view>

namespace velmora::text {

// Length of the UTF-8 sequence at the start of `s` (not empty), or 1 when it
// is broken: a character that cannot be decoded is passed over one byte at a time.
inline std::size_t Utf8SequenceLength(std::string_view s) {
    const auto c = static_cast<unsigned char>(s[0]);
    const std::size_t n = c < 0x80           ? 1
                          : (c >> 5) == 0x6  ? 2
                          : (c >> 4) == 0xE  ? 3
                          : (c >> 3) == 0x1E ? 4
                                             : 1;
    if (n > s.size()) return 1;
    for (std::size_t i = 1; i < n; ++i)
        if ((static_cast<unsigned char>(s[i]) & 0xC0) != 0x80) return 1;
    return n;
}

}  // namespace velmora::text
