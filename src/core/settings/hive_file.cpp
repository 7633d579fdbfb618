#include "core/settings/hive_file.h"

#include <cstdio>

namespace velmora {
namespace {

constexpr std::string_view kBom = "\xEF\xBB\xBF";
constexpr std::string_view kBlanks = " \t";

char LowerAscii(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (LowerAscii(a[i]) != LowerAscii(b[i])) return false;
    return true;
}

bool StartsWithNoCase(std::string_view s, std::string_view prefix) {
    return s.size() >= prefix.size() && EqualsNoCase(s.substr(0, prefix.size()), prefix);
}

std::string_view TrimLeft(std::string_view s) {
    std::size_t i = s.find_first_not_of(kBlanks);
    return i == std::string_view::npos ? std::string_view() : s.substr(i);
}

std::string_view TrimRight(std::string_view s) {
    std::size_t i = s.find_last_not_of(kBlanks);
    return i == std::string_view::npos ? std::string_view() : s.substr(0, i + 1);
}

// Strict UTF-8: no overlong forms, no surrogates, nothing above U+10FFFF.
bool IsValidUtf8(std::string_view s) {
    std::size_t i = 0;
    while (i < s.size()) {
        auto c = static_cast<unsigned char>(s[i]);
        std::size_t n;
        std::uint32_t cp;
        if (c < 0x80) {
            ++i;
            continue;
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
            return false;
        }
        if (i + n > s.size()) return false;
        for (std::size_t k = 1; k < n; ++k) {
            auto t = static_cast<unsigned char>(s[i + k]);
            if ((t & 0xC0) != 0x80) return false;
            cp = (cp << 6) | (t & 0x3F);
        }
        if ((n == 3 && cp < 0x800) || (n == 4 && cp < 0x10000) || cp > 0x10FFFF ||
            (cp >= 0xD800 && cp <= 0xDFFF))
            return false;
        i += n;
    }
    return true;
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

std::optional<std::uint32_t> ParseDword(std::string_view digits) {
    // Exporters always write eight digits; fewer is most likely a cut-off line.
    if (digits.size() != 8) return std::nullopt;
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

// The content of a physical line: without its terminator and one trailing CR.
std::string_view Content(std::string_view physical) {
    if (!physical.empty() && physical.back() == '\n') physical.remove_suffix(1);
    if (!physical.empty() && physical.back() == '\r') physical.remove_suffix(1);
    return physical;
}

bool EndsWithContinuation(std::string_view content) {
    content = TrimRight(content);
    return !content.empty() && content.back() == '\\';
}

}  // namespace

// Turns physical lines into the document's logical lines.
struct HiveLineParser {
    explicit HiveLineParser(std::string_view text) {
        while (!text.empty()) {
            std::size_t nl = text.find('\n');
            std::size_t len = nl == std::string_view::npos ? text.size() : nl + 1;
            physical.push_back(text.substr(0, len));
            text.remove_prefix(len);
        }
    }

    HiveDocument::Line Next() {
        HiveDocument::Line line;
        std::string_view first = physical[next++];
        line.raw = std::string(first);
        std::string_view content = TrimLeft(Content(first));
        if (!content.empty() && content[0] == '[') {
            line.kind = HiveDocument::LineKind::Section;
            std::string_view body = TrimRight(content);
            if (body.size() >= 2 && body.back() == ']' && IsValidUtf8(body)) {
                line.validSection = true;
                line.name = std::string(body.substr(1, body.size() - 2));
            }
            return line;
        }
        if (!content.empty() && (content[0] == '"' || content[0] == '@')) ParseValue(content, line);
        return line;
    }

    void ParseValue(std::string_view s, HiveDocument::Line& line) {
        std::string_view start = s;
        std::string name;
        if (s[0] == '@') {
            s.remove_prefix(1);
        } else {
            auto quoted = ParseQuoted(s);
            if (!quoted) return;
            name = std::move(*quoted);
        }
        std::string rawName(start.substr(0, start.size() - s.size()));
        s = TrimLeft(s);
        if (s.empty() || s[0] != '=') return;
        s = TrimLeft(s.substr(1));

        HiveValue value;
        if (!s.empty() && s[0] == '"') {
            auto text = ParseQuoted(s);
            if (!text || !TrimLeft(s).empty()) return;
            value.type = HiveValueType::String;
            value.text = std::move(*text);
        } else if (StartsWithNoCase(s, "dword:")) {
            auto number = ParseDword(TrimRight(s.substr(6)));
            if (!number) return;
            value.type = HiveValueType::Dword;
            value.dword = *number;
        } else if (StartsWithNoCase(s, "hex")) {
            ParseHex(s, line, value);
        } else if (TrimRight(s) != "-") {
            return;  // "-" is a deletion mark: a value of no readable type
        }
        line.kind = HiveDocument::LineKind::Value;
        line.name = std::move(name);
        line.rawName = std::move(rawName);
        line.value = std::move(value);
    }

    // hex:, hex(n): values may go on over lines that end with a backslash.
    void ParseHex(std::string_view s, HiveDocument::Line& line, HiveValue& value) {
        std::size_t colon = s.find(':');
        std::string_view type = s.substr(0, colon);
        std::string bytes;
        std::string_view content = s.substr(colon == std::string_view::npos ? s.size() : colon + 1);
        while (true) {
            std::string_view part = TrimRight(content);
            bool more = EndsWithContinuation(part);
            if (more) part.remove_suffix(1);
            bytes.append(TrimLeft(part));
            if (!more) break;
            if (next == physical.size()) {
                line.openContinuation = true;
                break;
            }
            line.raw.append(physical[next]);
            content = Content(physical[next++]);
        }
        value.type = HiveValueType::Other;
        if (colon != std::string_view::npos && EqualsNoCase(type, "hex(4)")) {
            if (auto number = ParseHexDword(bytes)) {
                value.type = HiveValueType::Dword;
                value.dword = *number;
            }
        }
    }

    std::vector<std::string_view> physical;
    std::size_t next = 0;
};

HiveDocument HiveDocument::Parse(std::string_view bytes) {
    HiveDocument doc;
    if (bytes.substr(0, kBom.size()) == kBom) {
        doc.bom_ = std::string(kBom);
        bytes.remove_prefix(kBom.size());
    }
    HiveLineParser parser(bytes);
    while (parser.next < parser.physical.size()) doc.lines_.push_back(parser.Next());
    return doc;
}

std::string HiveDocument::Serialize() const {
    std::string out = bom_;
    for (const Line& line : lines_) out += line.raw;
    return out;
}

bool HiveDocument::HasKey(std::string_view key) const {
    for (const Line& line : lines_) {
        if (line.kind != LineKind::Section || !line.validSection) continue;
        if (EqualsNoCase(line.name, key)) return true;
        if (line.name.size() > key.size() && StartsWithNoCase(line.name, key) &&
            line.name[key.size()] == '\\')
            return true;
    }
    return false;
}

std::optional<std::size_t> HiveDocument::FindLine(std::string_view key,
                                                  std::string_view name) const {
    std::optional<std::size_t> found;
    bool inKey = false;
    for (std::size_t i = 0; i < lines_.size(); ++i) {
        const Line& line = lines_[i];
        if (line.kind == LineKind::Section)
            inKey = line.validSection && EqualsNoCase(line.name, key);
        else if (inKey && line.kind == LineKind::Value && EqualsNoCase(line.name, name))
            found = i;
    }
    return found;
}

std::optional<HiveValue> HiveDocument::Find(std::string_view key, std::string_view name) const {
    auto at = FindLine(key, name);
    if (!at) return std::nullopt;
    return lines_[*at].value;
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

void HiveDocument::SetString(std::string_view key, std::string_view name,
                             std::string_view utf8Text) {
    SetValue(key, name, Quote(utf8Text));
}

void HiveDocument::SetDword(std::string_view key, std::string_view name, std::uint32_t value) {
    char digits[9];
    std::snprintf(digits, sizeof digits, "%08x", static_cast<unsigned>(value));
    SetValue(key, name, std::string("dword:") + digits);
}

std::string_view HiveDocument::Terminator(std::string_view raw) {
    if (raw.size() >= 2 && raw.substr(raw.size() - 2) == "\r\n") return "\r\n";
    if (!raw.empty() && raw.back() == '\n') return "\n";
    return {};
}

std::string HiveDocument::Newline() const {
    return lines_.empty() || Terminator(lines_.front().raw) != "\r\n" ? "\n" : "\r\n";
}

void HiveDocument::SetValue(std::string_view key, std::string_view name, const std::string& data) {
    if (auto at = FindLine(key, name)) {
        Line& line = lines_[*at];
        // The name keeps the spelling it was first stored with, as in the registry.
        line.raw = line.rawName + "=" + data + std::string(Terminator(line.raw));
    } else {
        std::string valueLine = (name.empty() ? std::string("@") : Quote(name)) + "=" + data;
        std::optional<std::size_t> section;
        for (std::size_t i = 0; i < lines_.size(); ++i)
            if (lines_[i].kind == LineKind::Section && lines_[i].validSection &&
                EqualsNoCase(lines_[i].name, key))
                section = i;
        if (section) {
            // After the section's last non-blank line, so trailing blank lines
            // keep separating it from the next section.
            std::size_t at = *section + 1;
            for (std::size_t i = at; i < lines_.size() && lines_[i].kind != LineKind::Section; ++i)
                if (!TrimLeft(Content(lines_[i].raw)).empty()) at = i + 1;
            InsertLine(at, valueLine + Newline());
        } else {
            std::string nl = Newline();
            std::string text;
            if (lines_.empty())
                text = "REGEDIT4" + nl + nl;
            else if (!TrimLeft(Content(lines_.back().raw)).empty())
                text = nl;
            InsertLine(lines_.size(), text + "[" + std::string(key) + "]" + nl + valueLine + nl);
        }
    }
    *this = Parse(Serialize());
}

void HiveDocument::InsertLine(std::size_t at, std::string text) {
    if (at > 0) {
        Line& previous = lines_[at - 1];
        // A file cut between CR and LF gets its LF; any other cut line a whole line break.
        if (Terminator(previous.raw).empty())
            previous.raw += !previous.raw.empty() && previous.raw.back() == '\r' ? "\n" : Newline();
        // A hex value cut off after a trailing backslash would swallow the new
        // line as its continuation; an empty line ends it first.
        if (previous.openContinuation) text = Newline() + text;
    }
    Line line;
    line.raw = std::move(text);
    lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(at), std::move(line));
}

}  // namespace velmora
