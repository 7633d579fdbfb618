#include "core/feed/profile_file.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <string>
#include <unordered_map>
#include <utility>

#include "core/platform/files.h"
#include "core/text/ascii.h"
#include "core/text/cp932.h"

namespace velmora {

struct ProfileFile::Line {
    enum End : std::uint8_t { kNone, kCrLf, kLf, kCr };

    std::string_view text;  // without its line end
    std::string_view key;   // trimmed, inside `text`
    std::uint32_t valueAt = 0;
    End end = kNone;
    bool isKey = false;
};

// A section keeps the text it was read or appended with and is split into
// lines only when a key is looked up or set: a save that replaces one section
// copies the others as they are.
struct ProfileFile::Section {
    std::string_view name;  // trimmed, as written
    bool hasHeader = false;
    std::string_view raw;  // header and lines with their ends, until edited
    bool edited = false;   // `lines` replace `raw`

    // The index of the first line with this key.
    std::optional<std::size_t> Lookup(std::string_view key) const;
    // The lines for changing; call Invalidate when lines were added.
    std::vector<Line>& EditableLines();
    // The lines, once a lookup or an edit has split `raw` into them.
    const std::vector<Line>& Lines() const { return lines_; }
    void Invalidate() { index_.reset(); }
    // Appends the section's text to `out`.
    void AppendText(std::string& out) const;

  private:
    void Prepare() const;

    mutable std::vector<Line> lines_;
    // Folded key -> first line with it; made on the first lookup.
    mutable std::optional<std::unordered_map<std::string, std::size_t>> index_;
};

namespace {

bool IsQuote(char c) {
    return c == '"' || c == '\'';
}
bool IsBreak(char c) {
    return c == '\r' || c == '\n';
}

using text::IsBlank;
using text::Trim;
char FoldAscii(char c) {
    return text::LowerAscii(c);
}

// Names compare without regard to ASCII case, but both bytes of a double-byte
// character compare exactly: a trail byte may look like an ASCII letter.
bool SameName(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (text::IsLeadByte(static_cast<unsigned char>(a[i])) && i + 1 < a.size()) {
            if (a[i] != b[i] || a[i + 1] != b[i + 1]) return false;
            ++i;
        } else if (FoldAscii(a[i]) != FoldAscii(b[i])) {
            return false;
        }
    }
    return true;
}

// The form in which names that SameName takes as one are equal: ASCII
// letters folded, both bytes of a double-byte character as they are.
std::string FoldedName(std::string_view name) {
    std::string folded(name);
    for (std::size_t i = 0; i < folded.size(); ++i) {
        if (text::IsLeadByte(static_cast<unsigned char>(folded[i])) && i + 1 < folded.size()) {
            ++i;
        } else {
            folded[i] = FoldAscii(folded[i]);
        }
    }
    return folded;
}

// What a read gives for the raw text after '=': trimmed, one pair of matching
// quotes removed, cut to the read buffer.
std::string_view DecodeValue(std::string_view raw) {
    std::string_view v = Trim(raw);
    if (v.size() >= 2 && IsQuote(v.front()) && v.front() == v.back()) {
        v = v.substr(1, v.size() - 2);
    }
    return v.substr(0, text::SafeCutLength(v, kProfileValueMax));
}

// Appends the text written after '=' so that DecodeValue gives `value` back.
void AppendEncodedValue(std::string& out, std::string_view value) {
    if (value.empty()) return;
    const auto outer = [](char c) { return IsBlank(c) || IsQuote(c) || IsBreak(c); };
    const bool quote = outer(value.front()) || outer(value.back());
    if (quote) out += '"';
    text::AppendFoldingLineBreaks(out, value);
    if (quote) out += '"';
}

void AppendKeyLine(std::string& out, std::string_view key, std::string_view value) {
    text::AppendFoldingLineBreaks(out, Trim(key));
    out += '=';
    AppendEncodedValue(out, value);
}

// The name inside a header line ("[name]"), or nullopt for another line.
std::optional<std::string_view> HeaderName(std::string_view line) {
    const std::string_view trimmed = Trim(line);
    if (trimmed.empty() || trimmed.front() != '[') return std::nullopt;
    const std::string_view name = trimmed.substr(1);
    return Trim(name.substr(0, name.find(']')));
}

// Appends "\r\n" when `out` ends inside a line: the next text starts a new one.
void EndOpenLine(std::string& out) {
    if (!out.empty() && !IsBreak(out.back())) out += "\r\n";
}

}  // namespace

// The line at `pos` (CR, LF and CRLF end a line); `pos` moves past its end.
ProfileFile::Line ProfileFile::NextLine(std::string_view text, std::size_t& pos) {
    Line line;
    const char* start = text.data() + pos;
    const std::size_t left = text.size() - pos;
    // The scan stops at the first break of either kind: looking for one kind
    // through the rest of the text made a file without it quadratic.
    const std::size_t length =
        static_cast<std::size_t>(std::find_if(start, start + left, IsBreak) - start);
    if (length == left) {
        line.end = Line::kNone;
    } else if (start[length] == '\n') {
        line.end = Line::kLf;
    } else {
        line.end = length + 1 < left && start[length + 1] == '\n' ? Line::kCrLf : Line::kCr;
    }
    line.text = text.substr(pos, length);
    pos += length + (line.end == Line::kCrLf ? 2 : line.end == Line::kNone ? 0 : 1);
    const std::size_t eq = line.text.find('=');
    if (eq != std::string_view::npos && eq < UINT32_MAX) {
        line.key = Trim(line.text.substr(0, eq));
        line.valueAt = static_cast<std::uint32_t>(eq + 1);
        line.isKey = !line.key.empty();
    }
    return line;
}

// Splits `text` into lines.
void ProfileFile::SplitLines(std::string_view text, std::vector<Line>& out) {
    out.reserve(out.size() + static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n')) +
                1);
    for (std::size_t pos = 0; pos < text.size();) out.push_back(NextLine(text, pos));
}

void ProfileFile::Section::Prepare() const {
    if (index_) return;
    if (!edited) {
        lines_.clear();
        SplitLines(raw, lines_);
    }
    index_.emplace();
    index_->reserve(lines_.size());
    for (std::size_t i = 0; i < lines_.size(); ++i) {
        if (lines_[i].isKey) index_->try_emplace(FoldedName(lines_[i].key), i);  // the first stays
    }
}

std::optional<std::size_t> ProfileFile::Section::Lookup(std::string_view key) const {
    Prepare();
    const auto found = index_->find(FoldedName(key));
    if (found == index_->end()) return std::nullopt;
    return found->second;
}

std::vector<ProfileFile::Line>& ProfileFile::Section::EditableLines() {
    Prepare();
    edited = true;
    return lines_;
}

void ProfileFile::Section::AppendText(std::string& out) const {
    if (!edited) {
        EndOpenLine(out);
        out += raw;
        return;
    }
    static constexpr std::string_view kEnds[] = {"", "\r\n", "\n", "\r"};
    for (const Line& line : lines_) {
        EndOpenLine(out);
        out += line.text;
        out += kEnds[line.end];
    }
}

bool SameProfileName(std::string_view a, std::string_view b) {
    return SameName(a, b);
}

ProfileFile::ProfileFile() = default;
ProfileFile::ProfileFile(ProfileFile&&) noexcept = default;
ProfileFile& ProfileFile::operator=(ProfileFile&&) noexcept = default;
ProfileFile::~ProfileFile() = default;

ProfileSectionText::ProfileSectionText(std::string_view name, std::size_t expectedBytes) {
    text_.reserve(expectedBytes + name.size() + 4);
    text_ += '[';
    text::AppendFoldingLineBreaks(text_, Trim(name));
    text_ += "]\r\n";
}

void ProfileSectionText::Add(std::string_view key, std::string_view value) {
    AppendKeyLine(text_, key, value);
    text_ += "\r\n";
}

// Cuts `text` into sections at its header lines; only the headers are looked
// at here. Text before the first header belongs to the section before it.
void ProfileFile::AddText(std::string&& text) {
    buffers_.push_back(std::make_unique<const std::string>(std::move(text)));
    const std::string_view all = *buffers_.back();

    // Headers are found by their '[' (rare in a profile) rather than by
    // splitting every line: a header is a line whose first non-blank is '['.
    std::vector<std::pair<std::size_t, std::string_view>> headers;  // line start, name
    for (std::size_t pos = 0; pos < all.size();) {
        const auto* bracket =
            static_cast<const char*>(std::memchr(all.data() + pos, '[', all.size() - pos));
        if (!bracket) break;
        const std::size_t at = static_cast<std::size_t>(bracket - all.data());
        pos = at + 1;
        std::size_t lineStart = at;
        while (lineStart > 0 && IsBlank(all[lineStart - 1])) --lineStart;
        if (lineStart > 0 && !IsBreak(all[lineStart - 1])) continue;  // inside a line
        std::size_t lineEnd = at;
        while (lineEnd < all.size() && !IsBreak(all[lineEnd])) ++lineEnd;
        if (const auto name = HeaderName(all.substr(lineStart, lineEnd - lineStart))) {
            headers.emplace_back(lineStart, *name);
        }
        pos = lineEnd;
    }

    const std::string_view leading = all.substr(0, headers.empty() ? all.size() : headers[0].first);
    if (sections_.empty()) {
        sections_.push_back(std::make_unique<Section>());
        sections_.back()->raw = leading;
    } else if (!leading.empty()) {
        Section& section = *sections_.back();
        std::vector<Line>& lines = section.EditableLines();
        if (!lines.empty() && lines.back().end == Line::kNone) lines.back().end = Line::kCrLf;
        SplitLines(leading, lines);
        section.Invalidate();
    }
    for (std::size_t i = 0; i < headers.size(); ++i) {
        const std::size_t end = i + 1 < headers.size() ? headers[i + 1].first : all.size();
        auto section = std::make_unique<Section>();
        section->name = headers[i].second;
        section->hasHeader = true;
        section->raw = all.substr(headers[i].first, end - headers[i].first);
        sections_.push_back(std::move(section));
    }
}

ProfileFile ProfileFile::Parse(std::string_view text) {
    ProfileFile profile;
    profile.AddText(std::string(text));
    return profile;
}

std::optional<ProfileFile> ProfileFile::Load(const std::filesystem::path& file, int* error,
                                             std::size_t maxBytes) {
    std::string text;
    const std::error_code failure = platform::ReadWholeFile(file, maxBytes, text);
    if (failure == std::errc::no_such_file_or_directory) return ProfileFile::Parse({});
    if (failure) {
        if (error) *error = failure.value();
        return std::nullopt;
    }
    ProfileFile profile;
    profile.AddText(std::move(text));
    return profile;
}

const ProfileFile::Section* ProfileFile::FindSection(std::string_view section) const {
    const std::string_view name = Trim(section);
    for (const auto& s : sections_) {
        if (s->hasHeader && SameName(s->name, name)) return s.get();
    }
    return nullptr;
}

bool ProfileFile::HasSection(std::string_view section) const {
    return FindSection(section) != nullptr;
}

std::optional<std::string_view> ProfileFile::Find(std::string_view section,
                                                  std::string_view key) const {
    const Section* s = FindSection(section);
    if (!s) return std::nullopt;
    const std::optional<std::size_t> line = s->Lookup(Trim(key));
    if (!line) return std::nullopt;
    const Line& found = s->Lines()[*line];
    return DecodeValue(found.text.substr(found.valueAt));
}

void ProfileFile::ForEachKeyLine(std::string_view section, void* context,
                                 void (*visit)(void*, std::string_view, std::string_view)) const {
    const Section* s = FindSection(section);
    if (!s) return;
    const auto emit = [&](const Line& line) {
        if (line.isKey) visit(context, line.key, DecodeValue(line.text.substr(line.valueAt)));
    };
    if (s->edited) {
        for (const Line& line : s->Lines()) emit(line);
        return;
    }
    for (std::size_t pos = 0; pos < s->raw.size();) emit(NextLine(s->raw, pos));
}

std::string ProfileFile::Get(std::string_view section, std::string_view key,
                             std::string_view defaultValue) const {
    if (const auto value = Find(section, key)) return std::string(*value);
    return text::CutToBytes(defaultValue, kProfileValueMax);
}

void ProfileFile::Set(std::string_view section, std::string_view key, std::string_view value) {
    auto* s = const_cast<Section*>(FindSection(section));
    if (!s) {
        ProfileSectionText created(section);
        created.Add(key, value);
        AppendSection(std::move(created));
        return;
    }
    std::string text;
    AppendKeyLine(text, key, value);
    buffers_.push_back(std::make_unique<const std::string>(std::move(text)));
    std::vector<Line> added;
    SplitLines(*buffers_.back(), added);
    if (added.size() != 1 || !added.front().isKey) return;  // no usable key name
    Line line = added.front();
    line.end = Line::kCrLf;

    const std::optional<std::size_t> existing = s->Lookup(line.key);
    std::vector<Line>& lines = s->EditableLines();
    if (existing) {
        Line& target = lines[*existing];
        line.end = target.end;
        target = line;
        return;  // same key at the same place: the index still holds
    }
    // After the section's last non-blank line, so that a blank separator stays last.
    std::size_t at = lines.size();
    while (at > 1 && Trim(lines[at - 1].text).empty()) --at;
    if (at == lines.size() && !lines.empty() && lines.back().end == Line::kNone) {
        lines.back().end = Line::kCrLf;
    }
    lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(at), line);
    s->Invalidate();
}

void ProfileFile::DeleteSection(std::string_view section) {
    const std::string_view name = Trim(section);
    std::erase_if(sections_,
                  [&](const auto& s) { return s->hasHeader && SameName(s->name, name); });
}

void ProfileFile::AppendSection(ProfileSectionText&& section) {
    AddText(std::move(section.text_));
}

std::string ProfileFile::Text() const {
    std::size_t size = 0;
    for (const auto& s : sections_) size += s->raw.size() + 2;
    std::string out;
    out.reserve(size);
    for (const auto& s : sections_) s->AppendText(out);
    return out;
}

bool ProfileFile::Save(const std::filesystem::path& file, int* error) const {
    // The feed is the user's own: a new file is theirs alone, like the settings hive.
    const std::error_code failure =
        platform::ReplaceFileAtomically(file, Text(), platform::FileAccess::Private);
    if (failure && error) *error = failure.value();
    return !failure;
}

}  // namespace velmora
