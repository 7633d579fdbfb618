#pragma once
// A settings hive file in the registry editor's text export, in either of its
// two forms:
//
//   REGEDIT4                                  UTF-8, with or without a BOM
//   Windows Registry Editor Version 5.00      UTF-16LE with a BOM (or UTF-8)
//
//   [HKEY_CURRENT_USER\SOFTWARE\VELMORA\Client\1.0]
//   "Channel"="news"
//   "Reread"=dword:0000003c
//
// The document keeps the text it was parsed from and writes it back in the
// encoding it was read in, so serialising an unedited document gives back the
// exact input, and an edit changes only the line of the value it sets. Lines
// it does not understand (other value types, comments, broken or truncated
// lines) are kept as they are. Lines are found by scanning the text, never
// stored one by one: a blank line or a comment costs its bytes and nothing
// more. Texts here are UTF-8; conversion to CP932 happens in the backend.

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

enum class HiveEncoding { Utf8, Utf8Bom, Utf16Le };

class HiveDocument {
  public:
    // Never fails: what cannot be understood is kept as it is (see Fault()).
    static HiveDocument Parse(std::string_view bytes);
    // The same for bytes it takes over, such as a file just read: no copy.
    static HiveDocument FromBytes(std::string bytes);
    // An empty document that serialises to a REGEDIT4 header once edited.
    HiveDocument() = default;

    std::string Serialize() const;
    HiveEncoding Encoding() const { return encoding_; }
    // The decoded text without its byte order mark (the bytes themselves when
    // they could not be decoded).
    const std::string& Text() const { return text_; }

    // Why the input is no hive at all ("is not valid UTF-16LE text", "has no
    // ... header"); empty for a hive or an empty input. A file with a fault
    // must not be rewritten: what it holds is not understood.
    const std::string& Fault() const { return fault_; }
    // Lines that mean nothing to the registry editor, read as nothing: how
    // many, and the number (from 1) of the first.
    std::size_t BadLines() const { return badLines_; }
    std::size_t FirstBadLine() const { return firstBadLine_; }

    // Key and value names compare case-insensitively (ASCII), as in the registry.
    // A key exists when it has a section or a section of one of its sub-keys does.
    bool HasKey(std::string_view key) const;
    // The last well-formed definition of the value in the key's sections.
    std::optional<HiveValue> Find(std::string_view key, std::string_view name) const;
    // Every value of `key` in the order written, each name once with its last
    // value (as Find gives it).
    std::vector<std::pair<std::string, HiveValue>> Values(std::string_view key) const;

    // Replace the value's last definition (whatever its type) or add it at the
    // end of the key's last section, creating the section when missing. False,
    // and nothing changes, when the key, name or text is not UTF-8 on one line
    // (the format cannot carry it) or the input could not be decoded.
    bool SetString(std::string_view key, std::string_view name, std::string_view utf8Text);
    bool SetDword(std::string_view key, std::string_view name, std::uint32_t value);

    // Escaping of a quoted name or string: backslash and double quote.
    static std::string Quote(std::string_view text);

  private:
    bool SetValue(std::string_view key, std::string_view name, const std::string& data);
    void Check();
    std::string Newline() const;

    HiveEncoding encoding_ = HiveEncoding::Utf8;
    std::string text_;
    std::string fault_;
    std::size_t badLines_ = 0;
    std::size_t firstBadLine_ = 0;
    bool undecodable_ = false;  // Fault() is about the encoding, not the lines
};

}  // namespace velmora
