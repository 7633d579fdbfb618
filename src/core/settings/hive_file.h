#pragma once
// A settings hive file in the registry editor's text format (REGEDIT4, UTF-8):
//
//   REGEDIT4
//
//   [HKEY_CURRENT_USER\SOFTWARE\VELMORA\Client\1.0]
//   "Channel"="news"
//   "Reread"=dword:0000003c
//
// The document keeps every byte it was parsed from. Lines it does not
// understand (other value types, comments, broken or truncated lines) are
// kept as they are, so serialising an unedited document gives back the exact
// input, and an edit changes only the line of the value it sets. Texts here
// are UTF-8; conversion to CP932 happens in the registry backend.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace velmora {

enum class HiveValueType { String, Dword, Other };

struct HiveValue {
    HiveValueType type = HiveValueType::Other;
    std::string text;         // String: the unescaped UTF-8 text
    std::uint32_t dword = 0;  // Dword: the number
};

class HiveDocument {
  public:
    // Never fails: what cannot be understood is kept as opaque lines.
    static HiveDocument Parse(std::string_view bytes);
    // An empty document that serialises to a REGEDIT4 header once edited.
    HiveDocument() = default;

    std::string Serialize() const;

    // Key and value names compare case-insensitively (ASCII), as in the registry.
    // A key exists when it has a section or a section of one of its sub-keys does.
    bool HasKey(std::string_view key) const;
    // The last well-formed definition of the value in the key's sections.
    std::optional<HiveValue> Find(std::string_view key, std::string_view name) const;

    // Replace the value's last definition (whatever its type) or add it at the
    // end of the key's last section, creating the section when missing. The
    // text must not hold a line break (the format cannot carry one).
    void SetString(std::string_view key, std::string_view name, std::string_view utf8Text);
    void SetDword(std::string_view key, std::string_view name, std::uint32_t value);

    // Escaping of a quoted name or string: backslash and double quote.
    static std::string Quote(std::string_view text);

  private:
    enum class LineKind { Opaque, Section, Value };
    // One logical line: a physical line, plus continuation lines of a hex value.
    struct Line {
        std::string raw;  // exact bytes, line terminators included
        LineKind kind = LineKind::Opaque;
        bool validSection = false;      // Section: a well-formed header
        std::string name;               // Section: key name; Value: value name (unescaped)
        std::string rawName;            // Value: the name exactly as written, quotes included
        HiveValue value;                // Value
        bool openContinuation = false;  // ends inside an unfinished continuation
    };

    void SetValue(std::string_view key, std::string_view name, const std::string& data);
    std::optional<std::size_t> FindLine(std::string_view key, std::string_view name) const;
    void InsertLine(std::size_t at, std::string text);
    std::string Newline() const;
    static std::string_view Terminator(std::string_view raw);

    std::string bom_;  // a leading UTF-8 byte order mark, kept as read
    std::vector<Line> lines_;

    friend struct HiveLineParser;
};

}  // namespace velmora
