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

std::uint64_t NewsTicker::RoundTicks() const {
    // A message takes one tick per leading space of its line, then its rest;
    // the last tick of the rest starts the next message.
    std::uint64_t ticks = 0;
    for (const CardRecord& m : messages_) {
        const std::size_t text = m.headline.find_first_not_of(' ');
        ticks +=
            kLeadingSpaces + (text == std::string::npos ? m.headline.size() : text) + kRestTicks;
    }
    return ticks;
}

bool NewsTicker::Advance(std::uint64_t ticks) {
    if (messages_.empty()) return false;
    constexpr std::size_t kNone = std::string::npos;
    std::size_t shownFrom = kNone;  // the text is copied only when it is needed
    bool changed = false;
    std::uint64_t round = 0;
    for (; ticks > 0; --ticks) {
        // Only single-byte spaces are skipped, so a double-byte character is never split.
        if (pos_ < line_.size() && line_[pos_] == ' ') {
            shownFrom = pos_++;
            changed = true;
            continue;
        }
        if (--wait_ > 0) continue;
        if (shownFrom != kNone) shown_ = line_.substr(shownFrom);
        shownFrom = kNone;
        if (++index_ >= messages_.size()) index_ = 0;
        line_.assign(kLeadingSpaces, ' ');
        line_ += messages_[index_].headline;
        pos_ = 0;
        wait_ = kRestTicks;
        if (index_ != 0) continue;
        // The state repeats from here every round; a full round still runs so
        // that the text shown is the one the last steps leave.
        if (round == 0) round = RoundTicks();
        const std::uint64_t left = ticks - 1;
        if (left >= 2 * round) ticks = 1 + round + left % round;
    }
    if (shownFrom != kNone) shown_ = line_.substr(shownFrom);
    return changed;
}

std::uint64_t TickerPace::TakeDue(std::int64_t nowMs) {
    const std::int64_t elapsed = nowMs - epoch_;
    const std::uint64_t due = elapsed > 0 ? static_cast<std::uint64_t>(elapsed / kInterval) : 0;
    if (due <= taken_) return 0;
    const std::uint64_t ticks = due - taken_;
    taken_ = due;
    return ticks;
}

int TickerPace::UntilNextTick(std::int64_t nowMs) const {
    const std::int64_t elapsed = nowMs > epoch_ ? nowMs - epoch_ : 0;
    return kInterval - static_cast<int>(elapsed % kInterval);
}

}  // namespace velmora
