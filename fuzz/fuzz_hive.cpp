// Hive files: parsing never fails and keeps every byte; an edit changes the
// one value it sets and nothing else; what is written reads back the same, in
// the encoding it was read in. Half the inputs are turned into UTF-16LE with a
// byte order mark, as the registry editor's version 5 files are.

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/settings/hive_file.h"
#include "core/text/cp932.h"

using velmora::HiveDocument;
using velmora::HiveEncoding;
using velmora::HiveValue;
using velmora::HiveValueType;

namespace {

void Check(bool ok) {
    if (!ok) __builtin_trap();
}

// Valid UTF-8 on one line: what the registry backend hands the document.
std::string OneLine(const std::string& bytes) {
    std::string text = velmora::text::Cp932ToUtf8(bytes);
    std::erase_if(text, [](char c) { return c == '\r' || c == '\n'; });
    return text;
}

bool Same(const std::optional<HiveValue>& a, const std::optional<HiveValue>& b) {
    if (a.has_value() != b.has_value()) return false;
    if (!a) return true;
    return a->type == b->type && a->text == b->text && a->dword == b->dword;
}

// Key and value names that appear in the input, to watch across the edit.
void CollectNames(std::string_view input, std::vector<std::string>& keys,
                  std::vector<std::string>& names) {
    while (!input.empty() && (keys.size() < 4 || names.size() < 8)) {
        std::size_t nl = input.find('\n');
        std::string_view line = input.substr(0, nl);
        if (line.size() > 1 && line[0] == '[' && keys.size() < 4) {
            std::size_t end = line.rfind(']');
            if (end != std::string_view::npos && end > 0)
                keys.emplace_back(line.substr(1, end - 1));
        } else if (line.size() > 1 && line[0] == '"' && names.size() < 8) {
            std::size_t end = line.find('"', 1);
            if (end != std::string_view::npos) names.emplace_back(line.substr(1, end - 1));
        }
        if (nl == std::string_view::npos) break;
        input.remove_prefix(nl + 1);
    }
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
    auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (lower(a[i]) != lower(b[i])) return false;
    return true;
}

// True when every byte of `part` appears in `whole`, in order.
bool IsSubsequence(std::string_view part, std::string_view whole) {
    std::size_t at = 0;
    for (char c : whole)
        if (at < part.size() && part[at] == c) ++at;
    return at == part.size();
}

// UTF-16LE with its byte order mark, each byte taken as a Latin-1 character:
// any input, its structure (quotes, brackets, line ends) kept.
std::string Utf16LeOf(std::string_view bytes) {
    std::string out = "\xFF\xFE";
    for (char c : bytes) {
        out.push_back(c);
        out.push_back('\0');
    }
    return out;
}

std::string Latin1ToUtf8(std::string_view bytes) {
    std::string out;
    for (char c : bytes) {
        auto b = static_cast<unsigned char>(c);
        if (b < 0x80) {
            out.push_back(c);
        } else {
            out.push_back(static_cast<char>(0xC0 | (b >> 6)));
            out.push_back(static_cast<char>(0x80 | (b & 0x3F)));
        }
    }
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider provider(data, size);
    const int keyChoice = provider.ConsumeIntegralInRange(0, 2);
    const bool setDword = provider.ConsumeBool();
    const std::uint32_t number = provider.ConsumeIntegral<std::uint32_t>();
    const std::string name = OneLine(provider.ConsumeRandomLengthString(32));
    const std::string text = OneLine(provider.ConsumeRandomLengthString(64));
    const bool utf16 = provider.ConsumeBool();
    const std::string remaining = provider.ConsumeRemainingBytesAsString();
    const std::string input = utf16 ? Utf16LeOf(remaining) : remaining;

    HiveDocument doc = HiveDocument::Parse(input);
    Check(doc.Serialize() == input);
    if (utf16)
        Check(doc.Encoding() == HiveEncoding::Utf16Le && doc.Text() == Latin1ToUtf8(remaining));
    const HiveEncoding encoding = doc.Encoding();
    const bool wasHive = doc.Fault().empty();
    const std::size_t badLines = doc.BadLines();

    std::vector<std::string> keys = {"HKEY_CURRENT_USER\\SOFTWARE\\VELMORA\\Client\\1.0"};
    std::vector<std::string> names = {"Channel", "Reread"};
    CollectNames(doc.Text(), keys, names);
    const std::string key = keyChoice == 0                      ? keys[0]
                            : keyChoice == 1 && keys.size() > 1 ? OneLine(keys[1])
                                                                : "K";

    std::vector<std::optional<HiveValue>> before;
    for (const auto& k : keys)
        for (const auto& n : names) before.push_back(doc.Find(k, n));
    const bool existed = doc.Find(key, name).has_value();

    // What the backend hands over is always UTF-8 on one line: the edit is
    // taken, unless the input could not even be decoded.
    if (!(setDword ? doc.SetDword(key, name, number) : doc.SetString(key, name, text))) {
        Check(!wasHive && doc.Serialize() == input);
        return 0;
    }

    auto found = doc.Find(key, name);
    Check(found.has_value());
    if (setDword)
        Check(found->type == HiveValueType::Dword && found->dword == number);
    else
        Check(found->type == HiveValueType::String && found->text == text);

    // What was written reads back the same and writes out the same.
    const std::string written = doc.Serialize();
    HiveDocument reread = HiveDocument::Parse(written);
    Check(reread.Serialize() == written);
    Check(Same(reread.Find(key, name), found));
    // One encoding throughout, a hive stays a hive, and no line went bad.
    Check(reread.Encoding() == encoding);
    Check(reread.Fault().empty() == wasHive);
    Check(reread.BadLines() <= badLines);

    // Every other value is untouched, and a new value loses nothing of the file.
    std::size_t i = 0;
    for (const auto& k : keys)
        for (const auto& n : names) {
            const auto& old = before[i++];
            if (!(EqualsNoCase(k, key) && EqualsNoCase(n, name)))
                Check(Same(reread.Find(k, n), old));
        }
    if (!existed) Check(IsSubsequence(input, written));
    return 0;
}
