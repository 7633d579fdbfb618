#include "core/text/cp932.h"

#include <cstring>

namespace velmora::text {

std::size_t SafeCutLength(std::string_view s, std::size_t maxBytes) {
    if (s.size() <= maxBytes) {
        // A lone lead byte at the very end is kept as it is: nothing is split.
        return s.size();
    }
    std::size_t i = 0;
    while (i < maxBytes) {
        std::size_t step = IsLeadByte(static_cast<unsigned char>(s[i])) ? 2 : 1;
        if (i + step > maxBytes) break;
        i += step;
    }
    return i;
}

bool HasLineBreak(std::string_view s) {
    return std::memchr(s.data(), '\n', s.size()) || std::memchr(s.data(), '\r', s.size());
}

void AppendFoldingLineBreaks(std::string& out, std::string_view s) {
    if (!HasLineBreak(s)) {
        out += s;  // the usual case
        return;
    }
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '\r') {
            if (i + 1 < s.size() && s[i + 1] == '\n') ++i;
            out += ' ';
        } else if (s[i] == '\n') {
            out += ' ';
        } else {
            out += s[i];
        }
    }
}

std::string FoldLineBreaks(std::string_view s) {
    std::string out;
    out.reserve(s.size());
    AppendFoldingLineBreaks(out, s);
    return out;
}

}  // namespace velmora::text
