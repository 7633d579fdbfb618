#include "core/feed/feed_channel.h"

#include <cstddef>
#include <memory_resource>
#include <string_view>
#include <unordered_map>
#include <utility>

namespace velmora {

FeedChannel::FeedChannel(ItemColors colors) : colors_(colors) {}

FeedChannel::FeedChannel(FeedChannel&& other) noexcept : colors_(other.colors_) {
    swap(other);
}

FeedChannel& FeedChannel::operator=(FeedChannel&& other) noexcept {
    if (this != &other) {
        FeedChannel old(std::move(other));
        swap(old);
    }
    return *this;
}

FeedChannel::~FeedChannel() {
    Clear();
}

void FeedChannel::swap(FeedChannel& other) noexcept {
    using std::swap;
    swap(colors_, other.colors_);
    items_.swap(other.items_);
    swap(first_, other.first_);
    swap(last_, other.last_);
    swap(cursor_, other.cursor_);
    swap(title_, other.title_);
    swap(link_, other.link_);
    swap(description_, other.description_);
    swap(dateText_, other.dateText_);
    swap(issuedId_, other.issuedId_);
    swap(issuedKey_, other.issuedKey_);
    swap(count_, other.count_);
}

void FeedChannel::Clear() {
    title_.clear();
    link_.clear();
    description_.clear();
    dateText_.clear();
    items_.clear();
    first_ = last_ = cursor_ = nullptr;
    count_ = 0;
}

std::string FeedChannel::CurrentHeadline() const {
    return cursor_ ? std::string(cursor_->Headline()) : std::string();
}
std::string FeedChannel::CurrentLink() const {
    return cursor_ ? std::string(cursor_->Link()) : std::string();
}
std::string FeedChannel::CurrentImage() const {
    return cursor_ ? std::string(cursor_->Image()) : std::string();
}
std::string FeedChannel::CurrentDetail() const {
    return cursor_ ? std::string(cursor_->Detail()) : std::string();
}

FeedItem* FeedChannel::AppendCopy(const FeedItem& item) {
    FeedItem* clone = &items_.emplace_back(item.defaults_);
    clone->CopyTexts(item);
    if (!last_) {
        first_ = last_ = clone;
    } else {
        clone->prev_ = last_;
        last_->next_ = clone;
        last_ = clone;
    }
    ++count_;
    cursor_ = clone;
    return clone;
}

FeedItem* FeedChannel::FindByHeadline(std::string_view text) {
    for (cursor_ = first_; cursor_; cursor_ = cursor_->next_) {
        if (cursor_->Headline() == text) break;
    }
    return cursor_;
}

// Carries the read marks; gives the current item that decided the last lookup.
const FeedItem* FeedChannel::Merge(const FeedChannel& current, FeedChannel& incoming, bool& news) {
    // What a lookup needs is copied into the table on the walk over the current
    // feed, which runs in memory order: a lookup then touches only the table
    // and the headline's text, not the current item itself. Nodes and buckets
    // live in one buffer, released at once.
    struct Known {
        std::string_view date;
        const FeedItem* item;
        std::uint8_t read;
    };
    const auto count = static_cast<std::size_t>(current.Count());
    std::pmr::monotonic_buffer_resource buffer(count * 80 + 256);
    // Keyed by the stored hash; the headline itself is compared on a match.
    struct Key {
        std::size_t hash;
        std::string_view text;
        bool operator==(const Key& other) const { return hash == other.hash && text == other.text; }
    };
    struct StoredHash {
        std::size_t operator()(const Key& key) const { return key.hash; }
    };
    std::pmr::unordered_map<Key, Known, StoredHash> byHeadline(&buffer);
    byHeadline.reserve(count);
    for (const FeedItem& q : current.items_) {
        // The first of two equal headlines decides.
        byHeadline.try_emplace(Key{q.HeadlineHash(), q.Headline()},
                               Known{q.DateText(), &q, q.read});
    }
    news = false;
    const FeedItem* last = nullptr;
    for (FeedItem& p : incoming.items_) {
        const auto found = byHeadline.find(Key{p.HeadlineHash(), p.Headline()});
        if (found == byHeadline.end()) {
            p.read = 0;
            news = true;
            last = nullptr;
            continue;
        }
        const Known& q = found->second;
        if (q.date == p.DateText()) {
            p.read = q.read;
        } else {
            p.read = 0;
            news = true;
        }
        last = q.item;
    }
    incoming.SetCursor(nullptr);  // where the walk over the incoming feed ends
    return last;
}

bool MergeReadMarks(const FeedChannel& current, FeedChannel& incoming) {
    bool news = false;
    FeedChannel::Merge(current, incoming, news);
    return news;
}

bool FeedChannel::MergeReadMarks(FeedChannel& incoming) {
    bool news = false;
    const FeedItem* found = Merge(*this, incoming, news);
    cursor_ = const_cast<FeedItem*>(found);
    return news;
}

}  // namespace velmora
