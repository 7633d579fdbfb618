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
    // One by one, not by recursion: a long list must not exhaust the stack.
    for (FeedItem* item = first_; item;) {
        FeedItem* next = item->next_;
        delete item;
        item = next;
    }
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
    FeedItem* clone = CloneItem(item).release();
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

namespace {

// Carries the read marks; gives the current item that decided the last lookup.
const FeedItem* Merge(const FeedChannel& current, FeedChannel& incoming, bool& news) {
    // Nodes and buckets in one buffer, released at once: ten thousand small
    // allocations and frees cost more than the lookups themselves, and nodes
    // made in list order are then visited in about that order.
    const auto count = static_cast<std::size_t>(current.Count());
    std::pmr::monotonic_buffer_resource buffer(count * 64 + 256);
    std::pmr::unordered_map<std::string_view, const FeedItem*> byHeadline(&buffer);
    byHeadline.reserve(count);
    for (const FeedItem* q = current.First(); q; q = q->Next()) {
        byHeadline.try_emplace(q->Headline(), q);  // the first of two equal headlines decides
    }
    news = false;
    const FeedItem* last = nullptr;
    for (FeedItem* p = incoming.First(); p; p = p->Next()) {
        const auto found = byHeadline.find(p->Headline());
        const FeedItem* q = found == byHeadline.end() ? nullptr : found->second;
        if (q && q->DateText() == p->DateText()) {
            p->read = q->read;
        } else {
            p->read = 0;
            news = true;
        }
        last = q;
    }
    incoming.SetCursor(nullptr);  // where the walk over the incoming feed ends
    return last;
}

}  // namespace

bool MergeReadMarks(const FeedChannel& current, FeedChannel& incoming) {
    bool news = false;
    Merge(current, incoming, news);
    return news;
}

bool FeedChannel::MergeReadMarks(FeedChannel& incoming) {
    bool news = false;
    const FeedItem* found = Merge(*this, incoming, news);
    cursor_ = const_cast<FeedItem*>(found);
    return news;
}

}  // namespace velmora
