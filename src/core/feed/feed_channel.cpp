#include "core/feed/feed_channel.h"

#include <cstddef>
#include <cstdint>
#include <new>
#include <string_view>
#include <utility>
#include <vector>

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
    swap(items_, other.items_);
    swap(arena_, other.arena_);
}

void FeedChannel::Clear() {
    title_.clear();
    link_.clear();
    description_.clear();
    dateText_.clear();
    // An item in the arena owns nothing outside it (its texts are there too),
    // so releasing the arena ends every item without visiting each.
    arena_.reset();
    first_ = last_ = cursor_ = nullptr;
    items_.clear();
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

FeedItem* FeedChannel::NewItemLike(const FeedItem& source) {
    if (!arena_) arena_ = std::make_unique<std::pmr::monotonic_buffer_resource>(4096);
    void* place = arena_->allocate(sizeof(FeedItem), alignof(FeedItem));
    return new (place) FeedItem(source, FeedItem::CloneTag{}, arena_.get());
}

FeedItem* FeedChannel::AppendCopy(const FeedItem& item) {
    FeedItem* clone = NewItemLike(item);
    if (!last_) {
        first_ = last_ = clone;
    } else {
        clone->prev_ = last_;
        last_->next_ = clone;
        last_ = clone;
    }
    items_.push_back(clone);
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

// How many items ahead a walk asks for: the items have long left the caches
// when a poll merges them, and one at a time each would cost a full wait.
constexpr std::size_t kAhead = 8;

// The current feed's items by headline, first occurrence winning: open
// addressing over a table at least twice the item count. A slot keeps the
// headline's hash, so that a probe past another headline does not visit it.
class HeadlineIndex {
  public:
    explicit HeadlineIndex(const FeedChannel& current) {
        std::size_t size = 16;
        while (size < 2 * static_cast<std::size_t>(current.Count())) size *= 2;
        slots_.assign(size, Slot{});
        const std::span<FeedItem* const> items = current.Items();
        for (std::size_t i = 0; i < items.size(); ++i) {
            if (i + kAhead < items.size()) __builtin_prefetch(items[i + kAhead]);
            const FeedItem* item = items[i];
            Slot* slot = Probe(*item);
            if (!slot->item) *slot = Slot{item->HeadlineHash(), item};  // else the first decides
        }
    }

    // The first current item with the headline of `item`, or nullptr.
    const FeedItem* Find(const FeedItem& item) { return Probe(item)->item; }

  private:
    struct Slot {
        std::size_t hash = 0;
        const FeedItem* item = nullptr;
    };

    // The slot of `item`'s headline, or the empty slot where it would go.
    Slot* Probe(const FeedItem& item) {
        const std::size_t hash = item.HeadlineHash();
        Slot* slot = &slots_[hash & (slots_.size() - 1)];
        while (slot->item && (slot->hash != hash || slot->item->Headline() != item.Headline())) {
            slot = slot == &slots_.back() ? slots_.data() : slot + 1;
        }
        return slot;
    }

    std::vector<Slot> slots_;
};

// Carries the read marks; gives the current item that decided the last lookup.
const FeedItem* Merge(const FeedChannel& current, FeedChannel& incoming, bool& news) {
    HeadlineIndex index(current);
    news = false;
    const FeedItem* last = nullptr;
    const std::span<FeedItem* const> items = incoming.Items();
    for (std::size_t i = 0; i < items.size(); ++i) {
        if (i + kAhead < items.size()) __builtin_prefetch(items[i + kAhead]);
        FeedItem* p = items[i];
        const FeedItem* q = index.Find(*p);
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
