#include "core/popup/card_page.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <random>

#include "core/platform/crypto.h"
#include "core/popup/card_escaping.h"
#include "core/text/ascii.h"

namespace velmora {
namespace {

bool StartsWithNoCase(std::string_view s, std::size_t at, std::string_view word) {
    return text::StartsWithIgnoringAsciiCase(s.substr(at), word);
}

// Offset just past the tag `<name ...>` whose name is `name`, or npos.
std::size_t FindTagEnd(std::string_view html, std::string_view name, std::size_t& tagStart) {
    for (std::size_t at = html.find('<'); at != std::string_view::npos;
         at = html.find('<', at + 1)) {
        if (!StartsWithNoCase(html, at + 1, name)) continue;
        const std::size_t after = at + 1 + name.size();
        if (after < html.size() && (html[after] == '>' || html[after] == '/' ||
                                    std::isspace(static_cast<unsigned char>(html[after])))) {
            tagStart = at;
            return after;
        }
    }
    return std::string_view::npos;
}

enum class CardTexts { AsMarkup, AsPlainWords };

std::string CardText(const CardTemplates& templates, const std::vector<CardRecord>& items,
                     std::size_t index, std::string_view slot, CardTexts texts) {
    if (index >= items.size()) return FormatTemplate(templates.emptyCard, {slot});
    const CardRecord& item = items[index];
    const std::string picture = EscapeScriptString(CardPictureAddress(item.image));
    const std::string link = EscapeHtmlAttribute(CardLinkAddress(item.link));
    if (texts == CardTexts::AsPlainWords) {
        const std::string headline = EscapeHtmlAttribute(CardPlainText(item.headline));
        const std::string detail = EscapeHtmlAttribute(CardPlainText(item.detail));
        return FormatTemplate(templates.card,
                              {slot, picture, link, slot, link, headline, link, detail});
    }
    return FormatTemplate(templates.card,
                          {slot, picture, link, slot, link, item.headline, link, item.detail});
}

}  // namespace

std::string FormatTemplate(std::string_view format, std::initializer_list<std::string_view> args) {
    std::string out;
    std::size_t total = format.size();
    for (const std::string_view arg : args) total += arg.size();
    out.reserve(total);
    auto next = args.begin();
    for (std::size_t i = 0; i < format.size(); ++i) {
        const char c = format[i];
        const char conversion = i + 1 < format.size() ? format[i + 1] : '\0';
        if (c != '%' || (conversion != 's' && conversion != 'd' && conversion != '%')) {
            out += c;
            continue;
        }
        ++i;
        if (conversion == '%') {
            out += '%';
        } else if (next != args.end()) {
            out += *next++;
        }
    }
    return out;
}

std::string NewPageNonce() {
    std::array<unsigned char, 16> bytes{};
    if (!platform::RandomBytes(bytes.data(), bytes.size())) {
        std::random_device device;
        for (unsigned char& b : bytes) b = static_cast<unsigned char>(device());
    }
    static constexpr char kHex[] = "0123456789abcdef";
    std::string nonce;
    for (const unsigned char b : bytes) {
        nonce += kHex[b >> 4];
        nonce += kHex[b & 0xF];
    }
    return nonce;
}

std::string CardPagePolicy(std::string_view nonce) {
    std::string policy = "default-src 'none'; script-src 'nonce-";
    policy += nonce;
    policy +=
        "'; style-src 'unsafe-inline'; img-src http: https: res:; base-uri 'none'; "
        "form-action 'none'";
    return policy;
}

std::string AddScriptNonce(std::string_view html, std::string_view nonce) {
    const std::string attribute = " nonce=\"" + std::string(nonce) + "\"";
    std::string out;
    std::size_t tagStart = 0;
    for (;;) {
        const std::size_t nameEnd = FindTagEnd(html, "script", tagStart);
        if (nameEnd == std::string_view::npos) break;
        out.append(html.substr(0, nameEnd));
        out += attribute;
        html.remove_prefix(nameEnd);
    }
    out.append(html);
    return out;
}

std::string ComposePage(const CardTemplates& templates, const std::vector<CardRecord>& items,
                        std::size_t page, std::string_view nonce) {
    CardTemplates marked{AddScriptNonce(templates.page, nonce),
                         AddScriptNonce(templates.card, nonce),
                         AddScriptNonce(templates.emptyCard, nonce)};
    // The policy goes first into the head, before anything it is to govern.
    const std::string meta =
        "<meta http-equiv=\"Content-Security-Policy\" content=\"" + CardPagePolicy(nonce) + "\">";
    std::size_t headStart = 0;
    std::size_t insertAt = 0;
    const std::size_t headName = FindTagEnd(marked.page, "head", headStart);
    if (headName != std::string::npos) {
        const std::size_t close = marked.page.find('>', headName);
        if (close != std::string::npos) insertAt = close + 1;
    }
    marked.page.insert(insertAt, meta);

    const std::string left = CardText(marked, items, page, "1", CardTexts::AsMarkup);
    const std::string right = CardText(marked, items, page + 1, "2", CardTexts::AsMarkup);
    return FormatTemplate(marked.page, {left, right});
}

std::string ComposeTextOnlyPage(const CardTemplates& templates,
                                const std::vector<CardRecord>& items, std::size_t page) {
    const std::string left = CardText(templates, items, page, "1", CardTexts::AsPlainWords);
    const std::string right = CardText(templates, items, page + 1, "2", CardTexts::AsPlainWords);
    return FormatTemplate(templates.page, {left, right});
}

}  // namespace velmora
