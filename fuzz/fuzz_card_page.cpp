// The card page and the card process's message stream against arbitrary bytes:
// no crash, the escaped addresses never leave their quotes, a message reader
// never hands out more than it was given, the page is never cut.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "core/popup/card_escaping.h"
#include "core/popup/card_messages.h"
#include "core/popup/card_page.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string input(reinterpret_cast<const char*>(data), size);

    velmora::CardMessageReader reader;
    reader.Append(input);
    std::size_t handed = 0;
    while (auto message = reader.Next()) handed += message->payload.size();
    if (handed > input.size()) __builtin_trap();

    // Four texts of one item from the input, split at NUL bytes.
    std::vector<std::string> parts(4);
    std::size_t part = 0;
    for (const char c : input) {
        if (c == '\0' && part < 3) {
            ++part;
            continue;
        }
        parts[part] += c;
    }
    const std::string attribute = velmora::EscapeHtmlAttribute(parts[2]);
    if (attribute.find('"') != std::string::npos) __builtin_trap();
    const std::string script = velmora::EscapeScriptString(parts[3]);
    for (std::size_t i = 0; i < script.size(); ++i)
        if (script[i] == '<' || (script[i] == '"' && (i == 0 || script[i - 1] != '\\')))
            __builtin_trap();

    const velmora::CardTemplates templates{"<head>[%s][%s]<script>x()</script>",
                                           "<script>img%d.src=\"%s\"</script><a href=\"%s\">"
                                           "%d<a href=\"%s\">%s</a><a href=\"%s\">%s</a>",
                                           "<script>img%d.src=\"\"</script>"};
    const std::vector<velmora::CardRecord> items = {{parts[0], parts[1], parts[2], parts[3]},
                                                    {parts[1], parts[0], parts[3], parts[2]}};
    const std::string page = velmora::ComposePage(templates, items, 0, "n");
    // Headlines and details go in whole, however long.
    if (page.size() < 2 * (parts[0].size() + parts[1].size())) __builtin_trap();
    return 0;
}
