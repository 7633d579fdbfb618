#pragma once
// A profile (INI) file in memory: sections of "key=value" lines, CP932 text.
// Section and key names compare case-insensitively (ASCII letters outside
// double-byte characters), blanks around names and values are ignored, a value
// in matching quotes reads without them, the first of two equal keys (and the
// first of two equal sections) wins, and values read back at most 1023 bytes.
// The whole file is read and written at once; a section's lookup table is made
// on its first lookup.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <limits>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

namespace velmora {

// Longest value a read gives back (the profile functions' 1024-byte buffer).
inline constexpr std::size_t kProfileValueMax = 1023;

// Whether two section or key names name the same thing in a profile file:
// ASCII letters compare without regard to case, double-byte characters exactly.
bool SameProfileName(std::string_view a, std::string_view b);

// The lines of a new section, built key by key for ProfileFile::AppendSection.
class ProfileSectionText {
  public:
    explicit ProfileSectionText(std::string_view name, std::size_t expectedBytes = 0);
    // Line breaks in the value become one space; a value with outer blanks or
    // outer quotes is written inside one more pair of double quotes, so that
    // every value reads back exactly as it was given (up to 1023 bytes).
    void Add(std::string_view key, std::string_view value);

  private:
    friend class ProfileFile;
    std::string text_;  // "[name]\r\nkey=value\r\n..."
};

class ProfileFile {
  public:
    ProfileFile();
    ProfileFile(ProfileFile&&) noexcept;
    ProfileFile& operator=(ProfileFile&&) noexcept;
    ~ProfileFile();

    // Parses the text of a profile file.
    static ProfileFile Parse(std::string_view text);
    // Reads the whole file at once. A missing file gives an empty profile;
    // nullopt when the file exists but cannot be read (`error`, when given,
    // then holds the errno: EISDIR or EINVAL for something not a file, EFBIG
    // for a file of more than `maxBytes`).
    static std::optional<ProfileFile> Load(
        const std::filesystem::path& file, int* error = nullptr,
        std::size_t maxBytes = std::numeric_limits<std::size_t>::max());

    // The value of `key` in `section`, or nullopt when either is absent. The
    // view lives as long as this profile and is not changed by later writes.
    std::optional<std::string_view> Find(std::string_view section, std::string_view key) const;
    // The value, or `defaultValue` (cut like a value) when absent.
    std::string Get(std::string_view section, std::string_view key,
                    std::string_view defaultValue = {}) const;
    bool HasSection(std::string_view section) const;

    // Calls `visit(key, value)` for every key line of the section that Find
    // reads, in file order, with the key trimmed and the value as Find gives
    // it. Later lines of an equal key are visited too (Find takes the first).
    // One pass over the text: reading a whole section this way builds no
    // lookup index.
    template <typename Visit>
    void ForEachKey(std::string_view section, Visit&& visit) const {
        using V = std::remove_reference_t<Visit>;
        ForEachKeyLine(section, &visit, [](void* v, std::string_view key, std::string_view value) {
            (*static_cast<V*>(v))(key, value);
        });
    }

    // Sets `key` in `section`: replaces the first equal key, or adds the key
    // after the section's last line (the section is created at the end when
    // absent). The value is written as ProfileSectionText::Add writes it.
    void Set(std::string_view section, std::string_view key, std::string_view value);
    // Removes every section of that name, header and lines; the rest stays as
    // it was.
    void DeleteSection(std::string_view section);
    // Adds a whole new section at the end, without looking for existing ones.
    void AppendSection(ProfileSectionText&& section);

    // The file text: untouched lines byte for byte, new lines ending in CRLF.
    std::string Text() const;

    // Writes Text() atomically: a temporary file in the same folder, fsync,
    // rename (missing folders are made). On failure the old file is intact and
    // the temporary is removed. `error`, when given, receives the errno of a
    // failure.
    bool Save(const std::filesystem::path& file, int* error = nullptr) const;

  private:
    struct Line;
    struct Section;

    static Line NextLine(std::string_view text, std::size_t& pos);
    static void SplitLines(std::string_view text, std::vector<Line>& out);
    void ForEachKeyLine(std::string_view section, void* context,
                        void (*visit)(void*, std::string_view, std::string_view)) const;
    void AddText(std::string&& text);
    const Section* FindSection(std::string_view section) const;

    // Line texts point into these buffers, which never move or change.
    std::vector<std::unique_ptr<const std::string>> buffers_;
    std::vector<std::unique_ptr<Section>> sections_;
};

}  // namespace velmora
