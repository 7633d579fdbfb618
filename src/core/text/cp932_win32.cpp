// CP932 through the system's own tables (code page 932), with the rules of the
// iconv twin: each broken or unholdable character is replaced, nothing is
// best-fitted (é does not become e).

#include <windows.h>

#include <cstdint>

#include "core/text/cp932.h"
#include "core/text/utf8_sequence.h"
#include "core/text/wide_text.h"

namespace velmora::text {
namespace {

constexpr unsigned kCp932 = 932;
constexpr wchar_t kReplacement = 0xFFFD;

// True when `s` is the start of a sequence cut off by the end of the text.
bool TruncatedAtEnd(std::string_view s) {
    const auto c = static_cast<unsigned char>(s[0]);
    const std::size_t n = (c >> 5) == 0x6 ? 2 : (c >> 4) == 0xE ? 3 : (c >> 3) == 0x1E ? 4 : 1;
    if (n <= s.size()) return false;
    for (std::size_t i = 1; i < s.size(); ++i)
        if ((static_cast<unsigned char>(s[i]) & 0xC0) != 0x80) return false;
    return true;
}

// UTF-8 decoded by hand, so that every broken sequence, surrogate and
// character beyond the Basic Multilingual Plane (none of which CP932 holds)
// becomes one U+FFFD, exactly where the iconv twin writes one '?'.
std::wstring DecodeUtf8(std::string_view in, bool keepAstral) {
    std::wstring out;
    out.reserve(in.size());
    while (!in.empty()) {
        if (TruncatedAtEnd(in)) {
            out += kReplacement;
            break;
        }
        const std::size_t n = Utf8SequenceLength(in);
        const auto b = [&](std::size_t i) {
            return static_cast<std::uint32_t>(static_cast<unsigned char>(in[i]));
        };
        std::uint32_t cp = b(0);
        bool valid = true;
        if (n == 1) {
            valid = cp < 0x80;
        } else if (n == 2) {
            cp = ((cp & 0x1F) << 6) | (b(1) & 0x3F);
            valid = cp >= 0x80;
        } else if (n == 3) {
            cp = ((cp & 0x0F) << 12) | ((b(1) & 0x3F) << 6) | (b(2) & 0x3F);
            valid = cp >= 0x800 && (cp < 0xD800 || cp > 0xDFFF);
        } else {
            cp = ((cp & 0x07) << 18) | ((b(1) & 0x3F) << 12) | ((b(2) & 0x3F) << 6) | (b(3) & 0x3F);
            valid = cp >= 0x10000 && cp <= 0x10FFFF;
        }
        if (!valid) {
            out += kReplacement;
        } else if (cp < 0x10000) {
            out += static_cast<wchar_t>(cp);
        } else if (keepAstral) {
            cp -= 0x10000;
            out += static_cast<wchar_t>(0xD800 + (cp >> 10));
            out += static_cast<wchar_t>(0xDC00 + (cp & 0x3FF));
        } else {
            out += kReplacement;
        }
        in.remove_prefix(n);
    }
    return out;
}

// One call for the usual, valid text; character by character only to find
// the broken ones.
std::wstring DecodeCp932(std::string_view in) {
    std::wstring out;
    if (in.empty()) return out;
    const int size = static_cast<int>(in.size());
    out.resize(in.size());
    const int whole =
        MultiByteToWideChar(kCp932, MB_ERR_INVALID_CHARS, in.data(), size, out.data(), size);
    if (whole > 0) {
        out.resize(static_cast<std::size_t>(whole));
        return out;
    }
    out.clear();
    for (std::size_t i = 0; i < in.size();) {
        const bool lead = IsLeadByte(static_cast<unsigned char>(in[i]));
        const std::size_t n = lead && i + 1 < in.size() ? 2 : 1;
        wchar_t c[2];
        const int got = lead && n == 1
                            ? 0
                            : MultiByteToWideChar(kCp932, MB_ERR_INVALID_CHARS, in.data() + i,
                                                  static_cast<int>(n), c, 2);
        if (got > 0)
            out.append(c, static_cast<std::size_t>(got));
        else
            out += kReplacement;
        i += n;
    }
    return out;
}

std::string EncodeWide(unsigned codePage, std::wstring_view in) {
    std::string out;
    if (in.empty()) return out;
    const int size = static_cast<int>(in.size());
    // Code page 932 takes no flags but this one; UTF-8 takes none at all.
    const DWORD flags = codePage == kCp932 ? WC_NO_BEST_FIT_CHARS : 0;
    const char* fallback = codePage == kCp932 ? "?" : nullptr;
    BOOL usedFallback = FALSE;
    const int length = WideCharToMultiByte(codePage, flags, in.data(), size, nullptr, 0, fallback,
                                           codePage == kCp932 ? &usedFallback : nullptr);
    if (length <= 0) return out;
    out.resize(static_cast<std::size_t>(length));
    WideCharToMultiByte(codePage, flags, in.data(), size, out.data(), length, fallback,
                        codePage == kCp932 ? &usedFallback : nullptr);
    return out;
}

}  // namespace

std::wstring Cp932ToWide(std::string_view cp932) {
    return DecodeCp932(cp932);
}

std::string WideToCp932(std::wstring_view wide) {
    return EncodeWide(kCp932, wide);
}

std::wstring Utf8ToWide(std::string_view utf8) {
    return DecodeUtf8(utf8, true);
}

std::string WideToUtf8(std::wstring_view wide) {
    return EncodeWide(CP_UTF8, wide);
}

std::string Utf8ToCp932(std::string_view utf8) {
    return EncodeWide(kCp932, DecodeUtf8(utf8, false));
}

std::string Cp932ToUtf8(std::string_view cp932) {
    return EncodeWide(CP_UTF8, DecodeCp932(cp932));
}

}  // namespace velmora::text
