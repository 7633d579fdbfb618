#pragma once
// The one-line ticker: the channel's short messages enter from the right one
// space at a time, rest at the left end, then the next one comes. Qt-free.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "core/popup/card_record.h"

namespace velmora {

// The texts before, between and after the "|" separators, empty ones included.
std::vector<std::string> SplitAtBar(std::string_view text);

// Ticker messages from the channel's description (texts) and link (addresses),
// each split at "|". Lists of different lengths give no messages at all.
std::vector<CardRecord> TickerMessages(std::string_view description, std::string_view link);

class NewsTicker {
  public:
    static constexpr int kLeadingSpaces = 80;
    static constexpr int kRestTicks = 50;

    // Replaces the messages; call Reset afterwards.
    void SetMessages(std::vector<CardRecord> messages) { messages_ = std::move(messages); }
    // The next step starts message 0; the placeholder line "*" is never shown.
    void Reset();
    // One tick. True when the visible text changed; it is then in ShownText().
    bool Step() { return Advance(1); }
    // `ticks` ticks at once, as many single steps would leave it; whole rounds
    // through all messages are skipped, so a long pause costs no more than one.
    // True when the visible text changed.
    bool Advance(std::uint64_t ticks);

    const std::string& ShownText() const { return shown_; }
    std::size_t Count() const { return messages_.size(); }
    std::size_t Index() const { return index_; }
    // The message on show, or nullptr while there is none.
    const CardRecord* Current() const {
        return index_ < messages_.size() ? &messages_[index_] : nullptr;
    }

  private:
    // Ticks from the start of one round through all messages to the next.
    std::uint64_t RoundTicks() const;

    std::vector<CardRecord> messages_;
    std::size_t index_ = 0;
    int wait_ = 0;
    std::string line_ = "*";
    std::size_t pos_ = 0;
    std::string shown_;
};

// The ticker's beat of 100 ms on a steady clock. Its timer need only run while
// the text can be seen: the ticks missed meanwhile are taken when it shows.
class TickerPace {
  public:
    static constexpr int kInterval = 100;

    void Start(std::int64_t nowMs) {
        epoch_ = nowMs;
        taken_ = 0;
    }
    // The ticks that fell since the last call.
    std::uint64_t TakeDue(std::int64_t nowMs);
    // Milliseconds from `nowMs` to the next tick on the beat.
    int UntilNextTick(std::int64_t nowMs) const;

  private:
    std::int64_t epoch_ = 0;
    std::uint64_t taken_ = 0;
};

}  // namespace velmora
