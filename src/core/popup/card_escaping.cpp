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

// The character a reference at the start of `s` stands for, with its length.
bool ReadReference(std::string_view s, char& c, std::size_t& length) {
    static constexpr struct {
        std::string_view name;
        char c;
    } kNamed[] = {{"&amp;", '&'},  {"&lt;", '<'},    {"&gt;", '>'},
                  {"&quot;", '"'}, {"&apos;", '\''}, {"&nbsp;", ' '}};
    for (const auto& named : kNamed) {
        if (s.substr(0, named.name.size()) == named.name) {
            c = named.c;
            length = named.name.size();
            return true;
        }
    }
    if (s.size() < 4 || s[1] != '#') return false;
    unsigned value = 0;
    std::size_t i = 2;
    for (; i < s.size() && i < 6 && s[i] >= '0' && s[i] <= '9'; ++i)
        value = value * 10 + static_cast<unsigned>(s[i] - '0');
    if (i == 2 || i >= s.size() || s[i] != ';' || value < 0x20 || value > 0x7E) return false;
    c = static_cast<char>(value);
    length = i + 1;
    return true;
}

}  // namespace

std::string CardPlainText(std::string_view cp932) {
    std::string out;
    bool space = false;
    auto put = [&](char c) {
        if (c == ' ' || c == '\t' || c == '\n' || c == '\r') {
            space = !out.empty();
            return;
        }
        if (space) out += ' ';
        space = false;
        out += c;
    };
    for (std::size_t i = 0; i < cp932.size(); ++i) {
        const auto c = static_cast<unsigned char>(cp932[i]);
        // '<', '>' and '&' are never the second byte of a double-byte character.
        if (text::IsLeadByte(c) && i + 1 < cp932.size()) {
            put(cp932[i]);
            out += cp932[++i];
            continue;
        }
        if (c == '<') {
            const std::size_t close = cp932.find('>', i);
            if (close == std::string_view::npos) break;
            // A tag separates words as a blank would.
            put(' ');
            i = close;
            continue;
        }
        char decoded = 0;
        std::size_t length = 0;
        if (c == '&' && ReadReference(cp932.substr(i), decoded, length)) {
            put(decoded);
            i += length - 1;
            continue;
        }
        put(static_cast<char>(c));
    }
    return out;
}

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
