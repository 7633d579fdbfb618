#pragma once
// Texts inside the program are std::string of CP932 (Shift-JIS) bytes; these
// functions are the only places where they meet UTF-8.

#include <cstddef>
#include <string>
#include <string_view>

namespace velmora::text {

// UTF-8 to CP932. A character CP932 cannot hold, or an invalid UTF-8 sequence,
// becomes '?'.
std::string Utf8ToCp932(std::string_view utf8);

// CP932 to UTF-8. A byte sequence that is not valid CP932 becomes U+FFFD.
std::string Cp932ToUtf8(std::string_view cp932);

// True for a byte that opens a double-byte CP932 character.
constexpr bool IsLeadByte(unsigned char c) {
    return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC);
}

// Length of the longest prefix of `s` of at most `maxBytes` bytes that does not
// end inside a double-byte character.
std::size_t SafeCutLength(std::string_view s, std::size_t maxBytes);

// `s` cut to at most `maxBytes` bytes without splitting a double-byte character.
inline std::string CutToBytes(std::string_view s, std::size_t maxBytes) {
    return std::string(s.substr(0, SafeCutLength(s, maxBytes)));
}

// Each CR, LF or CRLF becomes one space: a stored or displayed text stays one
// line. Byte-wise is safe on CP932: no trail byte is a CR or an LF.
std::string FoldLineBreaks(std::string_view s);
void AppendFoldingLineBreaks(std::string& out, std::string_view s);
bool HasLineBreak(std::string_view s);

}  // namespace velmora::text
