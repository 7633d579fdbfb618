#include "core/feed/feed_item.h"

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

FeedItem::FeedItem(ItemColors colors)
    : defaults_(colors), textColor(colors.text), readTextColor(colors.readText) {}

FeedItem::~FeedItem() = default;

void FeedItem::Clear() {
    prev_ = nullptr;
    next_ = nullptr;
    SetHeadline({});
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
void FeedItem::CopyTexts(const FeedItem& item) {
    headline_ = item.headline_;
    headlineHash_ = item.headlineHash_;
    dateText_ = item.dateText_;
    link_ = item.link_;
    detail_ = item.detail_;
    image_ = item.image_;
    textColor = item.textColor;
    readTextColor = item.readTextColor;
}

std::unique_ptr<FeedItem> CloneItem(const FeedItem& item) {
    auto clone = std::make_unique<FeedItem>(item.defaults_);
    clone->CopyTexts(item);
    return clone;
}

}  // namespace velmora
