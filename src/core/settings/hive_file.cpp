#include "core/settings/hive_file.h"

#include <algorithm>
#include <cstdio>
#include <utility>

#include "core/text/ascii.h"

namespace velmora {
namespace {

constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";
constexpr std::string_view kUtf16LeBom = "\xFF\xFE";
constexpr std::string_view kRegedit4 = "REGEDIT4";
constexpr std::string_view kVersion5 = "Windows Registry Editor Version 5.00";
// hex(4): four bytes "xx," with blanks at most; anything longer is no DWORD.
constexpr std::size_t kMaxHexDwordText = 64;

using text::LowerAscii;
using text::TrimLeft;
using text::TrimRight;

// The code point of the strict UTF-8 sequence at s[i] (no overlong forms, no
// surrogates, nothing above U+10FFFF) and its length; 0 when there is none.
std::size_t DecodeUtf8At(std::string_view s, std::size_t i, std::uint32_t& cp) {
    auto c = static_cast<unsigned char>(s[i]);
    std::size_t n;
    if (c < 0x80) {
        cp = c;
        return 1;
    } else if (c >= 0xC2 && c <= 0xDF) {
        n = 2;
        cp = c & 0x1F;
    } else if (c >= 0xE0 && c <= 0xEF) {
        n = 3;
        cp = c & 0x0F;
    } else if (c >= 0xF0 && c <= 0xF4) {
        n = 4;
        cp = c & 0x07;
    } else {
        return 0;
    }
    if (i + n > s.size()) return 0;
    for (std::size_t k = 1; k < n; ++k) {
        auto t = static_cast<unsigned char>(s[i + k]);
        if ((t & 0xC0) != 0x80) return 0;
        cp = (cp << 6) | (t & 0x3F);
    }
    if ((n == 3 && cp < 0x800) || (n == 4 && cp < 0x10000) || cp > 0x10FFFF ||
        (cp >= 0xD800 && cp <= 0xDFFF))
        return 0;
    return n;
}

bool IsValidUtf8(std::string_view s) {
    std::uint32_t cp;
    for (std::size_t i = 0, n; i < s.size(); i += n)
        if ((n = DecodeUtf8At(s, i, cp)) == 0) return false;
    return true;
}

// What a quoted name or text can hold: UTF-8 on one line.
bool IsOneUtf8Line(std::string_view s) {
    return s.find_first_of("\r\n") == std::string_view::npos && IsValidUtf8(s);
}

void AppendUtf8(std::string& out, std::uint32_t cp) {
    if (cp < 0x80) {
        out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
}

void AppendUtf16Le(std::string& out, std::uint32_t cp) {
    auto unit = [&out](std::uint32_t u) {
        out.push_back(static_cast<char>(u & 0xFF));
        out.push_back(static_cast<char>(u >> 8));
    };
    if (cp < 0x10000) {
        unit(cp);
    } else {
        cp -= 0x10000;
        unit(0xD800 + (cp >> 10));
        unit(0xDC00 + (cp & 0x3FF));
    }
}

// False for an odd length or a lone surrogate: such a file cannot be written
// back as it was, so it is not decoded at all.
bool DecodeUtf16Le(std::string_view bytes, std::string& out) {
    if (bytes.size() % 2 != 0) return false;
    out.reserve(bytes.size() / 2);
    auto unit = [bytes](std::size_t i) {
        return static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[i])) |
               static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[i + 1])) << 8;
    };
    for (std::size_t i = 0; i < bytes.size(); i += 2) {
        std::uint32_t cp = unit(i);
        if (cp >= 0xD800 && cp <= 0xDBFF) {
            if (i + 2 >= bytes.size()) return false;
            std::uint32_t low = unit(i + 2);
            if (low < 0xDC00 || low > 0xDFFF) return false;
            cp = 0x10000 + ((cp - 0xD800) << 10) + (low - 0xDC00);
            i += 2;
        } else if (cp >= 0xDC00 && cp <= 0xDFFF) {
            return false;
        }
        AppendUtf8(out, cp);
    }
    return true;
}

// The text is valid UTF-8 (decoded from UTF-16, or edited with checked texts).
std::string EncodeUtf16Le(std::string_view utf8) {
    std::string out;
    out.reserve(utf8.size() * 2);
    std::uint32_t cp;
    for (std::size_t i = 0, n; i < utf8.size(); i += n) {
        n = DecodeUtf8At(utf8, i, cp);
        if (n == 0) {
            cp = 0xFFFD;
            n = 1;
        }
        AppendUtf16Le(out, cp);
    }
    return out;
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    c = LowerAscii(c);
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

// A quoted text at the start of `s` ("..." with \\ and \" escapes). On success
// `s` is left just after the closing quote.
std::optional<std::string> ParseQuoted(std::string_view& s) {
    if (s.empty() || s[0] != '"') return std::nullopt;
    std::string out;
    for (std::size_t i = 1; i < s.size(); ++i) {
        char c = s[i];
        if (c == '"') {
            s.remove_prefix(i + 1);
            if (!IsValidUtf8(out)) return std::nullopt;
            return out;
        }
        if (c == '\\') {
            if (i + 1 >= s.size() || (s[i + 1] != '\\' && s[i + 1] != '"')) return std::nullopt;
            c = s[++i];
        }
        out.push_back(c);
    }
    return std::nullopt;  // no closing quote: a truncated line
}

// The registry editor reads one to eight hex digits after "dword:".
std::optional<std::uint32_t> ParseDword(std::string_view digits) {
    if (digits.empty() || digits.size() > 8) return std::nullopt;
    std::uint32_t v = 0;
    for (char c : digits) {
        int d = HexDigit(c);
        if (d < 0) return std::nullopt;
        v = (v << 4) | static_cast<std::uint32_t>(d);
    }
    return v;
}

// hex(4) is a DWORD written as four little-endian bytes; any other length is
// not a DWORD at all.
std::optional<std::uint32_t> ParseHexDword(std::string_view bytes) {
    std::uint32_t v = 0;
    int count = 0;
    while (true) {
        std::size_t comma = bytes.find(',');
        std::string_view item = TrimRight(TrimLeft(bytes.substr(0, comma)));
        if (item.size() != 2 || count == 4) return std::nullopt;
        int hi = HexDigit(item[0]), lo = HexDigit(item[1]);
        if (hi < 0 || lo < 0) return std::nullopt;
        v |= static_cast<std::uint32_t>(hi * 16 + lo) << (8 * count++);
        if (comma == std::string_view::npos) break;
        bytes.remove_prefix(comma + 1);
    }
    return count == 4 ? std::optional<std::uint32_t>(v) : std::nullopt;
}

bool EndsWithContinuation(std::string_view content) {
    content = TrimRight(content);
    return !content.empty() && content.back() == '\\';
}

enum class LineKind { Comment, Header, Section, BadSection, Value, Bad };

// One logical line that is not blank: a physical line, plus the continuation
// lines of a hex value.
struct ScannedLine {
    std::size_t begin = 0;       // its first byte
    std::size_t contentEnd = 0;  // where the terminator of its last physical line starts
    std::size_t end = 0;         // after that terminator
    std::size_t number = 0;      // number (from 1) of its first physical line
    LineKind kind = LineKind::Bad;
    std::string name;  // Section: key name; Value: value name (unescaped)
    std::size_t rawNameBegin = 0, rawNameEnd = 0;  // Value: the name as written
    HiveValue value;                               // Value
    bool openContinuation = false;                 // ends inside an unfinished continuation
};

// Walks the text once, line by line, whatever the line ends (CR LF, LF or a
// bare CR). Blank lines are skipped byte by byte without being looked at.
class LineScanner {
  public:
    explicit LineScanner(std::string_view text) : text_(text) {}

    bool Next(ScannedLine& line) {
        SkipBlankLines();
        if (at_ >= text_.size()) return false;
        line.begin = lineStart_;
        line.number = number_;
        line.openContinuation = false;
        std::string_view content = Physical(line);
        if (line.number == 1 &&
            (TrimRight(content) == kRegedit4 || TrimRight(content) == kVersion5))
            line.kind = LineKind::Header;
        else if (content[0] == ';')
            line.kind = LineKind::Comment;
        else if (content[0] == '[')
            ParseSection(content, line);
        else if (content[0] == '"' || content[0] == '@')
            line.kind = ParseValue(content, line) ? LineKind::Value : LineKind::Bad;
        else
            line.kind = LineKind::Bad;
        return true;
    }

  private:
    void SkipBlankLines() {
        const std::size_t size = text_.size();
        while (at_ < size) {
            char c = text_[at_];
            if (c == ' ' || c == '\t') {
                ++at_;
            } else if (c == '\n' || c == '\r') {
                at_ += c == '\r' && at_ + 1 < size && text_[at_ + 1] == '\n' ? 2 : 1;
                lineStart_ = at_;
                ++number_;
            } else {
                break;
            }
        }
    }

    // The rest of the physical line at at_, without its terminator; moves on
    // to the next line and records where this one ends.
    std::string_view Physical(ScannedLine& line) {
        const std::size_t size = text_.size();
        std::size_t stop = at_;
        while (stop < size && text_[stop] != '\n' && text_[stop] != '\r') ++stop;
        std::string_view content = text_.substr(at_, stop - at_);
        line.contentEnd = stop;
        if (stop < size) {
            stop += text_[stop] == '\r' && stop + 1 < size && text_[stop + 1] == '\n' ? 2 : 1;
            ++number_;
        }
        line.end = at_ = lineStart_ = stop;
        return content;
    }

    void ParseSection(std::string_view content, ScannedLine& line) {
        std::string_view body = TrimRight(content);
        if (body.size() >= 2 && body.back() == ']' && IsValidUtf8(body)) {
            line.kind = LineKind::Section;
            line.name.assign(body.substr(1, body.size() - 2));
        } else {
            line.kind = LineKind::BadSection;  // a cut header: its values belong to no key
        }
    }

    bool ParseValue(std::string_view s, ScannedLine& line) {
        const std::size_t nameBegin = static_cast<std::size_t>(s.data() - text_.data());
        std::string name;
        if (s[0] == '@') {
            s.remove_prefix(1);
        } else {
            auto quoted = ParseQuoted(s);
            if (!quoted) return false;
            name = std::move(*quoted);
        }
        const std::size_t nameEnd = static_cast<std::size_t>(s.data() - text_.data());
        s = TrimLeft(s);
        if (s.empty() || s[0] != '=') return false;
        s = TrimLeft(s.substr(1));

        HiveValue value;
        if (!s.empty() && s[0] == '"') {
            auto text = ParseQuoted(s);
            if (!text || !TrimLeft(s).empty()) return false;
            value.type = HiveValueType::String;
            value.text = std::move(*text);
        } else if (text::StartsWithIgnoringAsciiCase(s, "dword:")) {
            auto number = ParseDword(TrimRight(s.substr(6)));
            if (!number) return false;
            value.type = HiveValueType::Dword;
            value.dword = *number;
        } else if (text::StartsWithIgnoringAsciiCase(s, "hex")) {
            ParseHex(s, line, value);
        } else if (TrimRight(s) != "-") {
            return false;  // "-" is a deletion mark: a value of no readable type
        }
        line.name = std::move(name);
        line.rawNameBegin = nameBegin;
        line.rawNameEnd = nameEnd;
        line.value = std::move(value);
        return true;
    }

    // hex:, hex(n): values may go on over lines that end with a backslash.
    void ParseHex(std::string_view s, ScannedLine& line, HiveValue& value) {
        std::size_t colon = s.find(':');
        const bool dword = colon != std::string_view::npos &&
                           text::EqualsIgnoringAsciiCase(s.substr(0, colon), "hex(4)");
        std::string bytes;
        std::string_view content = s.substr(colon == std::string_view::npos ? s.size() : colon + 1);
        while (true) {
            std::string_view part = TrimRight(content);
            bool more = EndsWithContinuation(part);
            if (more) part.remove_suffix(1);
            if (dword && bytes.size() <= kMaxHexDwordText) bytes.append(TrimLeft(part));
            if (!more) break;
            if (at_ >= text_.size()) {
                line.openContinuation = true;
                break;
            }
            content = Physical(line);
        }
        value.type = HiveValueType::Other;
        if (dword && bytes.size() <= kMaxHexDwordText) {
            if (auto number = ParseHexDword(bytes)) {
                value.type = HiveValueType::Dword;
                value.dword = *number;
            }
        }
    }

    std::string_view text_;
    std::size_t at_ = 0;
    std::size_t lineStart_ = 0;
    std::size_t number_ = 1;
};

// Where a line ends: what an insertion after it must look at.
struct LineEnd {
    std::size_t contentEnd = 0;
    std::size_t end = 0;
    bool openContinuation = false;
};

LineEnd EndOf(const ScannedLine& line) {
    return {line.contentEnd, line.end, line.openContinuation};
}

// Replaces text[begin, end) with `with`. The result is built at its exact
// size: growing in place could double the capacity of a large file's text.
void Splice(std::string& text, std::size_t begin, std::size_t end, std::string_view with) {
    std::string out;
    out.reserve(text.size() - (end - begin) + with.size());
    out.append(text, 0, begin);
    out.append(with);
    out.append(text, end, std::string::npos);
    text.swap(out);
}

// Inserts `add` after the line that ends as `after` says.
void InsertAfter(std::string& text, const LineEnd& after, const std::string& add,
                 const std::string& nl) {
    std::string prefix;
    if (after.end > 0) {
        // A file cut between CR and LF gets its LF; any other cut line a whole line break.
        if (after.contentEnd == after.end)
            prefix = nl;
        else if (after.end == text.size() && after.end - after.contentEnd == 1 &&
                 text[after.contentEnd] == '\r' && nl != "\r")
            prefix = "\n";
        // A hex value cut off after a trailing backslash would swallow the new
        // line as its continuation; an empty line ends it first.
        if (after.openContinuation) prefix += nl;
    }
    Splice(text, after.end, after.end, prefix + add);
}

}  // namespace

HiveDocument HiveDocument::Parse(std::string_view bytes) {
    return FromBytes(std::string(bytes));
}

HiveDocument HiveDocument::FromBytes(std::string bytes) {
    HiveDocument doc;
    if (std::string_view(bytes).substr(0, kUtf16LeBom.size()) == kUtf16LeBom) {
        if (!DecodeUtf16Le(std::string_view(bytes).substr(kUtf16LeBom.size()), doc.text_)) {
            // Kept byte for byte, so that nothing is lost if it is ever written.
            doc.text_ = std::move(bytes);
            doc.fault_ = "is not valid UTF-16LE text";
            doc.undecodable_ = true;
            return doc;
        }
        doc.encoding_ = HiveEncoding::Utf16Le;
    } else {
        if (std::string_view(bytes).substr(0, kUtf8Bom.size()) == kUtf8Bom) {
            doc.encoding_ = HiveEncoding::Utf8Bom;
            bytes.erase(0, kUtf8Bom.size());
        }
        doc.text_ = std::move(bytes);
    }
    doc.Check();
    return doc;
}

void HiveDocument::Check() {
    if (undecodable_) return;
    fault_.clear();
    badLines_ = 0;
    firstBadLine_ = 0;
    LineScanner scanner(text_);
    ScannedLine line;
    bool first = true, header = false;
    while (scanner.Next(line)) {
        if (first) header = line.kind == LineKind::Header;
        first = false;
        if ((line.kind == LineKind::Bad || line.kind == LineKind::BadSection) && badLines_++ == 0)
            firstBadLine_ = line.number;
    }
    if (!text_.empty() && !header)
        fault_ = "has no \"REGEDIT4\" or \"Windows Registry Editor Version 5.00\" header";
}

std::string HiveDocument::Serialize() const {
    switch (encoding_) {
        case HiveEncoding::Utf8Bom:
            return std::string(kUtf8Bom) + text_;
        case HiveEncoding::Utf16Le:
            return std::string(kUtf16LeBom) + EncodeUtf16Le(text_);
        case HiveEncoding::Utf8:
            break;
    }
    return text_;
}

bool HiveDocument::HasKey(std::string_view key) const {
    LineScanner scanner(text_);
    ScannedLine line;
    while (scanner.Next(line)) {
        if (line.kind != LineKind::Section) continue;
        if (text::EqualsIgnoringAsciiCase(line.name, key)) return true;
        if (line.name.size() > key.size() && text::StartsWithIgnoringAsciiCase(line.name, key) &&
            line.name[key.size()] == '\\')
            return true;
    }
    return false;
}

std::optional<HiveValue> HiveDocument::Find(std::string_view key, std::string_view name) const {
    std::optional<HiveValue> found;
    bool inKey = false;
    LineScanner scanner(text_);
    ScannedLine line;
    while (scanner.Next(line)) {
        if (line.kind == LineKind::Section || line.kind == LineKind::BadSection)
            inKey = line.kind == LineKind::Section && text::EqualsIgnoringAsciiCase(line.name, key);
        else if (inKey && line.kind == LineKind::Value &&
                 text::EqualsIgnoringAsciiCase(line.name, name))
            found = std::move(line.value);
    }
    return found;
}

std::vector<std::pair<std::string, HiveValue>> HiveDocument::Values(std::string_view key) const {
    std::vector<std::pair<std::string, HiveValue>> values;
    bool inKey = false;
    LineScanner scanner(text_);
    ScannedLine line;
    while (scanner.Next(line)) {
        if (line.kind == LineKind::Section || line.kind == LineKind::BadSection) {
            inKey = line.kind == LineKind::Section && text::EqualsIgnoringAsciiCase(line.name, key);
        } else if (inKey && line.kind == LineKind::Value) {
            auto same = std::find_if(values.begin(), values.end(), [&](const auto& v) {
                return text::EqualsIgnoringAsciiCase(v.first, line.name);
            });
            if (same != values.end()) {
                same->second = std::move(line.value);
            } else {
                values.emplace_back(std::move(line.name), std::move(line.value));
            }
        }
    }
    return values;
}

std::string HiveDocument::Quote(std::string_view text) {
    std::string out = "\"";
    for (char c : text) {
        if (c == '\\' || c == '"') out.push_back('\\');
        out.push_back(c);
    }
    out.push_back('"');
    return out;
}

bool HiveDocument::SetString(std::string_view key, std::string_view name,
                             std::string_view utf8Text) {
    if (!IsOneUtf8Line(utf8Text)) return false;
    return SetValue(key, name, Quote(utf8Text));
}

bool HiveDocument::SetDword(std::string_view key, std::string_view name, std::uint32_t value) {
    char digits[9];
    std::snprintf(digits, sizeof digits, "%08x", static_cast<unsigned>(value));
    return SetValue(key, name, std::string("dword:") + digits);
}

std::string HiveDocument::Newline() const {
    std::size_t at = text_.find_first_of("\r\n");
    if (at == std::string::npos || text_[at] == '\n') return "\n";
    return at + 1 < text_.size() && text_[at + 1] == '\n' ? "\r\n" : "\r";
}

bool HiveDocument::SetValue(std::string_view key, std::string_view name, const std::string& data) {
    if (undecodable_ || !IsOneUtf8Line(key) || !IsOneUtf8Line(name)) return false;

    // One pass finds the value's last definition, the end of the key's last
    // section (after its last non-blank line, so that trailing blank lines
    // keep separating it from the next section) and the file's last line.
    std::optional<ScannedLine> found;
    std::optional<LineEnd> sectionEnd;
    LineEnd last;
    bool inKey = false;
    LineScanner scanner(text_);
    ScannedLine line;
    while (scanner.Next(line)) {
        last = EndOf(line);
        if (line.kind == LineKind::Section || line.kind == LineKind::BadSection) {
            inKey = line.kind == LineKind::Section && text::EqualsIgnoringAsciiCase(line.name, key);
            if (inKey) sectionEnd = last;
            continue;
        }
        if (!inKey) continue;
        sectionEnd = last;
        if (line.kind == LineKind::Value && text::EqualsIgnoringAsciiCase(line.name, name))
            found = line;
    }

    const std::string nl = Newline();
    if (found) {
        // The name keeps the spelling it was first stored with, as in the
        // registry; the line keeps its line break, continuation lines go.
        std::string replacement =
            text_.substr(found->rawNameBegin, found->rawNameEnd - found->rawNameBegin) + "=" + data;
        Splice(text_, found->begin, found->contentEnd, replacement);
    } else {
        std::string valueLine = (name.empty() ? std::string("@") : Quote(name)) + "=" + data + nl;
        if (sectionEnd) {
            InsertAfter(text_, *sectionEnd, valueLine, nl);
        } else {
            std::string text;
            if (text_.empty()) {
                text = std::string(encoding_ == HiveEncoding::Utf16Le ? kVersion5 : kRegedit4) +
                       nl + nl;
            } else if (last.end == text_.size()) {
                text = nl;  // the last line is not blank: a blank one separates the keys
            } else {
                // Trailing blank lines: the insertion follows the very last one.
                last = {text_.size(), text_.size(), false};
                std::size_t size = text_.size();
                if (text_[size - 1] == '\n')
                    last.contentEnd = size >= 2 && text_[size - 2] == '\r' ? size - 2 : size - 1;
                else if (text_[size - 1] == '\r')
                    last.contentEnd = size - 1;
            }
            InsertAfter(text_, last, text + "[" + std::string(key) + "]" + nl + valueLine, nl);
        }
    }
    Check();
    return true;
}

}  // namespace velmora
