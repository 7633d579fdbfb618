#include "core/feed/profile_file.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstring>
#include <mutex>
#include <string>
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
    bool first = false;  // the first line with this key (set by indexing)
};

// A section keeps the text it was read or appended with and is split into
// lines only when a key is looked up or set: a save that replaces one section
// copies the others as they are.
struct ProfileFile::Section {
    std::string_view name;  // trimmed, as written
    bool hasHeader = false;
    std::string_view raw;  // header and lines with their ends, until edited
    bool edited = false;   // `lines` replace `raw`

    const Line* Lookup(std::string_view key) const;
    // The lines for changing; call Invalidate once they were changed.
    std::vector<Line>& EditableLines();
    // The lines once the section was edited (`raw` holds them until then).
    const std::vector<Line>& EditedLines() const { return lines_; }
    void Invalidate() { ready_.store(false, std::memory_order_relaxed); }
    // Appends the section's text to `out`.
    void AppendText(std::string& out) const;

  private:
    struct Slot {
        std::uint32_t line = 0;  // line index + 1, 0 for a free slot
        std::uint32_t tag = 0;   // high half of the key's hash: spares most comparisons
    };

    void Prepare() const;
    void Reindex() const;

    mutable std::mutex preparing_;
    mutable std::atomic<bool> ready_{false};
    mutable std::vector<Line> lines_;
    mutable std::vector<Slot> slots_;  // open addressing over the key lines
    // Where the next lookup probably is: keys are mostly read in file order,
    // and checking the next line spares a random probe into the table.
    mutable std::atomic<std::size_t> hint_{0};
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

std::uint64_t NameHash(std::string_view name) {
    std::uint64_t h = 0xcbf29ce484222325ull;
    for (std::size_t i = 0; i < name.size(); ++i) {
        char c = name[i];
        if (text::IsLeadByte(static_cast<unsigned char>(c)) && i + 1 < name.size()) {
            h = (h ^ static_cast<unsigned char>(c)) * 0x100000001b3ull;
            c = name[++i];
        } else {
            c = FoldAscii(c);
        }
        h = (h ^ static_cast<unsigned char>(c)) * 0x100000001b3ull;
    }
    // FNV alone leaves keys that differ only in their last digits clustered.
    h ^= h >> 33;
    h *= 0xff51afd7ed558ccdull;
    return h ^ (h >> 33);
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
    if (ready_.load(std::memory_order_acquire)) return;
    const std::lock_guard lock(preparing_);
    if (ready_.load(std::memory_order_relaxed)) return;
    if (!edited) {
        lines_.clear();
        SplitLines(raw, lines_);
    }
    Reindex();
    ready_.store(true, std::memory_order_release);
}

const ProfileFile::Line* ProfileFile::Section::Lookup(std::string_view key) const {
    Prepare();
    const std::size_t hint = hint_.load(std::memory_order_relaxed);
    if (hint < lines_.size()) {
        const Line& line = lines_[hint];
        if (line.isKey && line.first && SameName(line.key, key)) {
            hint_.store(hint + 1, std::memory_order_relaxed);
            return &line;
        }
    }
    const std::uint64_t hash = NameHash(key);
    const auto tag = static_cast<std::uint32_t>(hash >> 32);
    const std::size_t mask = slots_.size() - 1;
    for (std::size_t at = hash & mask;; at = (at + 1) & mask) {
        const Slot& slot = slots_[at];
        if (slot.line == 0) return nullptr;
        if (slot.tag == tag && SameName(lines_[slot.line - 1].key, key)) {
            hint_.store(slot.line, std::memory_order_relaxed);
            return &lines_[slot.line - 1];
        }
    }
}

void ProfileFile::Section::Reindex() const {
    std::size_t keyLines = 0;
    for (const Line& line : lines_) keyLines += line.isKey ? 1 : 0;
    std::size_t size = 16;
    while (size < 2 * keyLines) size *= 2;
    slots_.assign(size, Slot{});
    const std::size_t mask = size - 1;

    // The slots are hit at random: hash a few lines ahead and ask for their slots.
    constexpr std::size_t kAhead = 8;
    std::uint64_t ahead[kAhead] = {};
    const auto hashAhead = [&](std::size_t i) {
        if (i >= lines_.size() || !lines_[i].isKey) return;
        ahead[i % kAhead] = NameHash(lines_[i].key);
        __builtin_prefetch(&slots_[ahead[i % kAhead] & mask], 1);
    };
    for (std::size_t i = 0; i < kAhead; ++i) hashAhead(i);
    for (std::size_t i = 0; i < lines_.size(); ++i) {
        Line& line = lines_[i];
        line.first = false;
        if (!line.isKey) {
            hashAhead(i + kAhead);
            continue;
        }
        const std::uint64_t hash = ahead[i % kAhead];
        hashAhead(i + kAhead);
        const auto tag = static_cast<std::uint32_t>(hash >> 32);
        for (std::size_t at = hash & mask;; at = (at + 1) & mask) {
            Slot& slot = slots_[at];
            if (slot.line == 0) {
                slot = Slot{static_cast<std::uint32_t>(i + 1), tag};
                line.first = true;
                break;
            }
            if (slot.tag == tag && SameName(lines_[slot.line - 1].key, line.key)) {
                break;  // the first of two equal keys stays
            }
        }
    }
    hint_.store(0, std::memory_order_relaxed);
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

std::optional<ProfileFile> ProfileFile::Load(const std::filesystem::path& file, int* error) {
    std::string text;
    const std::error_code failure = platform::ReadWholeFile(file, platform::kNoSizeLimit, text);
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
    const Line* line = s->Lookup(Trim(key));
    if (!line) return std::nullopt;
    return DecodeValue(line->text.substr(line->valueAt));
}

void ProfileFile::ForEachKeyLine(std::string_view section, void* context,
                                 void (*visit)(void*, std::string_view, std::string_view)) const {
    const Section* s = FindSection(section);
    if (!s) return;
    const auto emit = [&](const Line& line) {
        if (line.isKey) visit(context, line.key, DecodeValue(line.text.substr(line.valueAt)));
    };
    if (s->edited) {
        for (const Line& line : s->EditedLines()) emit(line);
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

    const Line* existing = s->Lookup(line.key);
    std::vector<Line>& lines = s->EditableLines();
    if (existing) {
        Line& target = lines[static_cast<std::size_t>(existing - lines.data())];
        line.end = target.end;
        line.first = target.first;
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
