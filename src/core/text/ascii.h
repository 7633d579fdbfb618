#pragma once
// Byte-level helpers for the ASCII parts of texts (names, keywords, blanks).
// Bytes of 0x80 and above are never letters or blanks, so they are safe on
// UTF-8 and, where noted, on CP932.

#include <cstddef>
#include <string_view>

namespace velmora::text {

constexpr char LowerAscii(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

// Equal but for the case of ASCII letters. Not for CP932 text, whose trail
// bytes may look like ASCII letters: see SameProfileName there.
inline bool EqualsIgnoringAsciiCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (LowerAscii(a[i]) != LowerAscii(b[i])) return false;
    return true;
}

inline bool StartsWithIgnoringAsciiCase(std::string_view s, std::string_view prefix) {
    return s.size() >= prefix.size() && EqualsIgnoringAsciiCase(s.substr(0, prefix.size()), prefix);
}

constexpr bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

// Without leading, trailing or surrounding spaces and tabs.
inline std::string_view TrimLeft(std::string_view s) {
    while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
    return s;
}
inline std::string_view TrimRight(std::string_view s) {
    while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
    return s;
}
inline std::string_view Trim(std::string_view s) {
    return TrimRight(TrimLeft(s));
}

}  // namespace velmora::text
