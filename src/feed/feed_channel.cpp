#include "feed/feed_channel.h"

#include <algorithm>
#include <functional>
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
    count_ = 0;
}

std::string FeedChannel::CurrentHeadline() const {
    return cursor_ ? std::string(cursor_->headline()) : std::string();
}
std::string FeedChannel::CurrentLink() const {
    return cursor_ ? std::string(cursor_->link()) : std::string();
}
std::string FeedChannel::CurrentImage() const {
    return cursor_ ? std::string(cursor_->image()) : std::string();
}
std::string FeedChannel::CurrentDetail() const {
    return cursor_ ? std::string(cursor_->detail()) : std::string();
}

FeedItem* FeedChannel::NewItemLike(const FeedItem& source) {
    // The arena's blocks grow with the feed, so that a small one stays small.
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
    ++count_;
    cursor_ = clone;
    return clone;
}

FeedItem* FeedChannel::FindByHeadline(std::string_view text) {
    for (cursor_ = first_; cursor_; cursor_ = cursor_->next_) {
        if (cursor_->headline() == text) break;
    }
    return cursor_;
}

namespace {

// The current feed's items by headline, first occurrence winning. Open
// addressing with the hash beside each item: a probe touches an item only
// when the hashes agree.
class HeadlineIndex {
  public:
    explicit HeadlineIndex(const FeedChannel& current) {
        std::size_t size = 16;
        while (size < 2 * static_cast<std::size_t>(current.count())) size *= 2;
        slots_.assign(size, Slot{});
        mask_ = size - 1;
        Ahead ahead(current.first(), *this);
        for (const FeedItem* item; (item = ahead.Next());) {
            Slot* slot = &slots_[ahead.hash() & mask_];
            for (;; slot = Following(slot)) {
                if (!slot->item) {
                    *slot = Slot{ahead.hash(), item};
                    break;
                }
                if (slot->hash == ahead.hash() && slot->item->headline() == item->headline()) {
                    break;  // the first of two equal headlines decides
                }
            }
        }
    }

    // Walks `items` and calls `visit(item, found)` with the first current item
    // of the same headline, or nullptr. Each lookup goes through the memory
    // three times (slot, current item, its texts); the walk asks for each of
    // them several items ahead, so that a large feed costs what a small one
    // does per item instead of three waits for main memory.
    template <typename Visit>
    void ForEachMatch(FeedItem* items, Visit visit) const {
        constexpr std::size_t kDepth = 16, kItemStage = 10, kTextStage = 5;
        struct Pending {
            const FeedItem* item = nullptr;
            std::size_t hash = 0;
            const FeedItem* candidate = nullptr;
        };
        Pending ring[kDepth];
        std::size_t fetched = 0;
        const FeedItem* next = items;
        const auto fetch = [&] {
            if (!next) return;
            const std::size_t hash = std::hash<std::string_view>()(next->headline());
            __builtin_prefetch(&slots_[hash & mask_]);
            ring[fetched++ % kDepth] = Pending{next, hash, nullptr};
            next = next->next();
        };
        for (std::size_t i = 0; i < kDepth; ++i) fetch();

        for (std::size_t taken = 0; taken < fetched; ++taken) {
            if (taken + kItemStage < fetched) {
                Pending& ahead = ring[(taken + kItemStage) % kDepth];
                const Slot& home = slots_[ahead.hash & mask_];
                if (home.item && home.hash == ahead.hash) {
                    ahead.candidate = home.item;
                    __builtin_prefetch(home.item);
                }
            }
            if (taken + kTextStage < fetched) {
                if (const FeedItem* candidate = ring[(taken + kTextStage) % kDepth].candidate) {
                    __builtin_prefetch(candidate->headline().data());
                    __builtin_prefetch(candidate->dateText().data());
                }
            }
            const Pending current = ring[taken % kDepth];
            fetch();
            const FeedItem* found = nullptr;
            for (const Slot* slot = &slots_[current.hash & mask_]; slot->item;
                 slot = Following(slot)) {
                if (slot->hash == current.hash &&
                    slot->item->headline() == current.item->headline()) {
                    found = slot->item;
                    break;
                }
            }
            visit(const_cast<FeedItem*>(current.item), found);
        }
    }

  private:
    struct Slot {
        std::size_t hash = 0;
        const FeedItem* item = nullptr;
    };

    // A walk over a list that hashes a few items ahead and asks the memory for
    // their slots, so that the random accesses overlap instead of queueing.
    class Ahead {
      public:
        Ahead(const FeedItem* first, const HeadlineIndex& index) : index_(index), next_(first) {
            for (std::size_t i = 0; i < kDepth; ++i) Fetch();
        }
        // The next item (its hash in hash()), or nullptr at the end.
        const FeedItem* Next() {
            if (taken_ == fetched_) return nullptr;
            const std::size_t at = taken_++ % kDepth;
            current_ = ring_[at].hash;
            const FeedItem* item = ring_[at].item;
            Fetch();
            return item;
        }
        std::size_t hash() const { return current_; }

      private:
        static constexpr std::size_t kDepth = 8;

        void Fetch() {
            if (!next_) return;
            const std::size_t hash = std::hash<std::string_view>()(next_->headline());
            __builtin_prefetch(&index_.slots_[hash & index_.mask_]);
            ring_[fetched_++ % kDepth] = Slot{hash, next_};
            next_ = next_->next();
        }

        const HeadlineIndex& index_;
        const FeedItem* next_;
        Slot ring_[kDepth];
        std::size_t fetched_ = 0;
        std::size_t taken_ = 0;
        std::size_t current_ = 0;
    };

    const Slot* Following(const Slot* slot) const {
        return slot == &slots_.back() ? slots_.data() : slot + 1;
    }
    Slot* Following(Slot* slot) { return slot == &slots_.back() ? slots_.data() : slot + 1; }

    std::vector<Slot> slots_;
    std::size_t mask_ = 0;
};

// Carries the read marks; gives the current item that decided the last lookup.
const FeedItem* Merge(const FeedChannel& current, FeedChannel& incoming, bool& news) {
    const HeadlineIndex index(current);
    news = false;
    const FeedItem* last = nullptr;
    index.ForEachMatch(incoming.first(), [&](FeedItem* p, const FeedItem* q) {
        if (q && q->dateText() == p->dateText()) {
            p->read = q->read;
        } else {
            p->read = 0;
            news = true;
        }
        last = q;
    });
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
