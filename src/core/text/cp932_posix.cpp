#include <iconv.h>

#include <cerrno>

#include "core/text/cp932.h"
#include "core/text/utf8_sequence.h"

namespace velmora::text {
namespace {

// One iconv conversion. On an input sequence the target cannot take, the
// source character is skipped (its length found by `charLength`) and
// `replacement` is written instead.
class Converter {
  public:
    Converter(const char* to, const char* from) : cd_(iconv_open(to, from)) {}
    ~Converter() {
        if (cd_ != reinterpret_cast<iconv_t>(-1)) iconv_close(cd_);
    }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;

    template <typename CharLength>
    std::string Run(std::string_view in, std::string_view replacement, CharLength charLength) {
        std::string out;
        if (cd_ == reinterpret_cast<iconv_t>(-1)) return out;
        out.reserve(in.size() * 3 / 2 + 16);
        char buffer[4096];
        const char* src = in.data();
        std::size_t left = in.size();
        while (left > 0) {
            char* dst = buffer;
            std::size_t room = sizeof buffer;
            std::size_t rc = iconv(cd_, const_cast<char**>(&src), &left, &dst, &room);
            out.append(buffer, dst - buffer);
            if (rc != static_cast<std::size_t>(-1)) continue;
            if (errno == E2BIG) continue;
            // EILSEQ (cannot convert or invalid) or EINVAL (truncated at the end).
            const bool truncated = errno == EINVAL;
            iconv(cd_, nullptr, nullptr, nullptr, nullptr);
            std::size_t skip = truncated ? left : charLength(std::string_view(src, left));
            if (skip == 0 || skip > left) skip = 1;
            src += skip;
            left -= skip;
            out.append(replacement);
        }
        char* dst = buffer;
        std::size_t room = sizeof buffer;
        iconv(cd_, nullptr, nullptr, &dst, &room);
        out.append(buffer, dst - buffer);
        return out;
    }

  private:
    iconv_t cd_;
};

std::size_t Cp932SequenceLength(std::string_view s) {
    return IsLeadByte(static_cast<unsigned char>(s[0])) && s.size() >= 2 ? 2 : 1;
}

}  // namespace

std::string Utf8ToCp932(std::string_view utf8) {
    // One conversion per thread, kept: opening one costs more than converting a
    // feed's texts, and every run ends in the initial state.
    thread_local Converter c("CP932", "UTF-8");
    return c.Run(utf8, "?", Utf8SequenceLength);
}

std::string Cp932ToUtf8(std::string_view cp932) {
    Converter c("UTF-8", "CP932");
    return c.Run(cp932, "\xEF\xBF\xBD", Cp932SequenceLength);
}

}  // namespace velmora::text
