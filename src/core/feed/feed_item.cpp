#include "core/feed/feed_item.h"

#include <algorithm>

#include "core/text/cp932.h"

namespace velmora {

std::string UnescapeAmpersand(std::string_view text) {
    if (text.find('%') == std::string_view::npos) return std::string(text);
    std::string out;
    out.reserve(text.size());
    std::size_t copied = 0;  // text before this is in `out`
    std::size_t i = 0;
    while (i < text.size()) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (text::IsLeadByte(c)) {
            i += 2;  // a double-byte character is never the start of a match
        } else if (c == '%' && text.compare(i, 3, "%26") == 0) {
            out.append(text, copied, i - copied);
            out += '&';
            i += 3;
            copied = i;
        } else {
            ++i;
        }
    }
    out.append(text, copied, std::string_view::npos);
    return out;
}

namespace {

template <typename Text>
void AssignUnescapedTo(Text& target, std::string_view text) {
    const std::size_t first = text.find("%26");
    if (first == std::string_view::npos) {
        target.assign(text);
        return;
    }
    // Without double-byte characters before it, every "%26" from the first on
    // is a match: replace them in place of a byte-by-byte scan.
    const bool plain = std::all_of(text.begin(), text.begin() + static_cast<std::ptrdiff_t>(first),
                                   [](char c) { return static_cast<unsigned char>(c) < 0x80; });
    if (!plain) {
        target.assign(UnescapeAmpersand(text));
        return;
    }
    target.assign(text, 0, first);
    std::size_t from = first;
    while (from < text.size()) {
        const std::size_t at = text.find("%26", from);
        if (at == std::string_view::npos) {
            target.append(text, from, std::string_view::npos);
            break;
        }
        const std::string_view between = text.substr(from, at - from);
        if (!std::all_of(between.begin(), between.end(),
                         [](char c) { return static_cast<unsigned char>(c) < 0x80; })) {
            target.assign(UnescapeAmpersand(text));  // a double-byte character: the careful scan
            return;
        }
        target.append(between);
        target += '&';
        from = at + 3;
    }
}

}  // namespace

void AssignUnescaped(std::string& target, std::string_view text) {
    AssignUnescapedTo(target, text);
}

void AssignUnescaped(std::pmr::string& target, std::string_view text) {
    AssignUnescapedTo(target, text);
}

FeedItem::FeedItem(ItemColors colors)
    : defaults_(colors), textColor(colors.text), readTextColor(colors.readText) {}

FeedItem::~FeedItem() = default;

void FeedItem::Clear() {
    prev_ = nullptr;
    next_ = nullptr;
    headline_.clear();
    headlineHash_ = HashHeadline({});
    link_.clear();
    detail_.clear();
    image_.clear();
    dateText_.clear();
    textColor = defaults_.text;
    readTextColor = defaults_.readText;
    read = 0;
}

// Link and image were unescaped when set, and unescaping is idempotent:
// copying them as they are gives what the setters would.
FeedItem::FeedItem(const FeedItem& source, CloneTag, std::pmr::memory_resource* texts)
    : defaults_(source.defaults_),
      headlineHash_(source.headlineHash_),
      headline_(source.headline_, texts),
      dateText_(source.dateText_, texts),
      link_(source.link_, texts),
      detail_(source.detail_, texts),
      image_(source.image_, texts),
      textColor(source.textColor),
      readTextColor(source.readTextColor) {}

std::unique_ptr<FeedItem> CloneItem(const FeedItem& item) {
    return std::unique_ptr<FeedItem>(new FeedItem(item, FeedItem::CloneTag{}));
}

}  // namespace velmora
