#include "core/text/bulk_cp932.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>

#include "core/text/cp932.h"

namespace velmora::text {

namespace {

// CP932 bytes of each code point of the Basic Multilingual Plane, filled in the
// first time a character is met: a feed uses a few thousand characters at
// most, and converting all 65 536 at once costs seconds (the reference
// conversion is slow on every character CP932 does not hold). Entries are
// atomic so that loads on several threads may share the table; two threads
// filling one entry store the same value.
class Cp932Table {
  public:
    // Writes the bytes of `c` at `out`; gives the end of what it wrote.
    char* Put(char* out, char32_t c) {
        std::uint32_t entry = entries_[c].load(std::memory_order_relaxed);
        if (entry == 0) {
            entry = Lookup(c);
            entries_[c].store(entry, std::memory_order_relaxed);
        }
        if (entry & kTwoBytes) *out++ = static_cast<char>((entry >> 8) & 0xFF);
        *out++ = static_cast<char>(entry & 0xFF);
        return out;
    }

  private:
    static constexpr std::uint32_t kKnown = 1u << 16;
    static constexpr std::uint32_t kTwoBytes = 1u << 17;

    static std::uint32_t Lookup(char32_t c) {
        std::string utf8;
        if (c < 0x800) {
            utf8 += static_cast<char>(0xC0 | (c >> 6));
            utf8 += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            utf8 += static_cast<char>(0xE0 | (c >> 12));
            utf8 += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            utf8 += static_cast<char>(0x80 | (c & 0x3F));
        }
        const std::string bytes = Utf8ToCp932(utf8);
        const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(bytes[i]); };
        if (bytes.size() == 2) return kKnown | kTwoBytes | byte(0) << 8 | byte(1);
        if (bytes.size() == 1) return kKnown | byte(0);
        return kKnown | '?';  // never expected: CP932 characters have one or two bytes
    }

    std::array<std::atomic<std::uint32_t>, 0x10000> entries_{};
};

Cp932Table& Table() {
    static const auto table = std::make_unique<Cp932Table>();
    return *table;
}

bool IsContinuation(unsigned char c) {
    return (c & 0xC0) == 0x80;
}

}  // namespace

std::string BulkUtf8ToCp932(std::string_view utf8) {
    Cp932Table& table = Table();
    // Never longer than the UTF-8: one byte stays one, two or three become at
    // most two, four become one '?'.
    std::string out(utf8.size(), '\0');
    char* put = out.data();
    const auto* s = reinterpret_cast<const unsigned char*>(utf8.data());
    const std::size_t n = utf8.size();
    for (std::size_t i = 0; i < n;) {
        const unsigned char c = s[i];
        char32_t code;
        if (c < 0x80) {
            *put++ = static_cast<char>(c);
            ++i;
            continue;
        } else if (c >= 0xC2 && c < 0xE0 && i + 1 < n && IsContinuation(s[i + 1])) {
            code = (c & 0x1Fu) << 6 | (s[i + 1] & 0x3Fu);
            i += 2;
        } else if (c >= 0xE0 && c < 0xF0 && i + 2 < n && IsContinuation(s[i + 1]) &&
                   IsContinuation(s[i + 2])) {
            code = (c & 0x0Fu) << 12 | (s[i + 1] & 0x3Fu) << 6 | (s[i + 2] & 0x3Fu);
            if (code < 0x800 || (code >= 0xD800 && code <= 0xDFFF)) {
                return Utf8ToCp932(utf8);  // overlong or a surrogate
            }
            i += 3;
        } else if (c >= 0xF0 && c < 0xF5 && i + 3 < n && IsContinuation(s[i + 1]) &&
                   IsContinuation(s[i + 2]) && IsContinuation(s[i + 3])) {
            code = (c & 0x07u) << 18 | (s[i + 1] & 0x3Fu) << 12 | (s[i + 2] & 0x3Fu) << 6 |
                   (s[i + 3] & 0x3Fu);
            if (code < 0x10000 || code > 0x10FFFF) return Utf8ToCp932(utf8);
            *put++ = '?';  // CP932 holds nothing beyond the Basic Multilingual Plane
            i += 4;
            continue;
        } else {
            return Utf8ToCp932(utf8);  // not valid UTF-8: its own rules apply
        }
        put = table.Put(put, code);
    }
    out.resize(static_cast<std::size_t>(put - out.data()));
    return out;
}

}  // namespace velmora::text
