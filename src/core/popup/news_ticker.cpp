#include "core/popup/news_ticker.h"

namespace velmora {

std::vector<std::string> SplitAtBar(std::string_view text) {
    std::vector<std::string> pieces;
    for (;;) {
        const std::size_t bar = text.find('|');
        pieces.emplace_back(text.substr(0, bar));
        if (bar == std::string_view::npos) return pieces;
        text.remove_prefix(bar + 1);
    }
}

std::vector<CardRecord> TickerMessages(std::string_view description, std::string_view link) {
    const std::vector<std::string> texts = SplitAtBar(description);
    const std::vector<std::string> links = SplitAtBar(link);
    std::vector<CardRecord> messages;
    if (texts.size() != links.size()) return messages;
    messages.resize(texts.size());
    for (std::size_t i = 0; i < texts.size(); ++i) {
        messages[i].headline = texts[i];
        messages[i].link = links[i];
    }
    return messages;
}

void NewsTicker::Reset() {
    index_ = messages_.size();
    wait_ = 0;
    line_.assign(1, '*');
    pos_ = 0;
}

bool NewsTicker::Step() {
    if (messages_.empty()) return false;
    // Only single-byte spaces are skipped, so a double-byte character is never split.
    if (pos_ < line_.size() && line_[pos_] == ' ') {
        shown_ = line_.substr(pos_);
        ++pos_;
        return true;
    }
    if (--wait_ > 0) return false;
    if (++index_ >= messages_.size()) index_ = 0;
    line_.assign(kLeadingSpaces, ' ');
    line_ += messages_[index_].headline;
    pos_ = 0;
    wait_ = kRestTicks;
    return false;
}

}  // namespace velmora
