#include "core/popup/card_escaping.h"

#include <cstdio>

#include "core/popup/openable_address.h"
#include "core/text/cp932.h"

namespace velmora {
namespace {

bool IsTrailByte(unsigned char c) {
    return (c >= 0x40 && c <= 0x7E) || (c >= 0x80 && c <= 0xFC);
}

// Calls `single(byte)` for each single-byte character and appends a whole
// double-byte character unchanged; a lead byte without a valid second byte is "?".
template <typename Single>
std::string EscapeEachByte(std::string_view s, Single single) {
    std::string out;
    out.reserve(s.size() + s.size() / 4);
    for (std::size_t i = 0; i < s.size(); ++i) {
        const auto c = static_cast<unsigned char>(s[i]);
        if (text::IsLeadByte(c)) {
            if (i + 1 < s.size() && IsTrailByte(static_cast<unsigned char>(s[i + 1]))) {
                out.append(s.substr(i, 2));
                ++i;
            } else {
                out += '?';
            }
            continue;
        }
        single(out, c);
    }
    return out;
}

}  // namespace

std::string EscapeHtmlAttribute(std::string_view cp932) {
    return EscapeEachByte(cp932, [](std::string& out, unsigned char c) {
        switch (c) {
            case '&':
                out += "&amp;";
                break;
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            case '"':
                out += "&quot;";
                break;
            case '\'':
                out += "&#39;";
                break;
            default:
                out += static_cast<char>(c);
        }
    });
}

std::string EscapeScriptString(std::string_view cp932) {
    return EscapeEachByte(cp932, [](std::string& out, unsigned char c) {
        if (c == '\\' || c == '"' || c == '\'') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c == '<' || c == '>' || c < 0x20 || c == 0x7F) {
            char hex[5];
            std::snprintf(hex, sizeof hex, "\\x%02X", c);
            out += hex;
        } else {
            out += static_cast<char>(c);
        }
    });
}

std::string CardLinkAddress(std::string_view cp932Link) {
    if (!IsOpenableAddress(text::Cp932ToUtf8(cp932Link), AddressOrigin::Feed)) return {};
    return std::string(cp932Link);
}

std::string CardPictureAddress(std::string_view cp932Image) {
    if (cp932Image == kPlaceholderAddress) return std::string(cp932Image);
    return CardLinkAddress(cp932Image);
}

}  // namespace velmora
