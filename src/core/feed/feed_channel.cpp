#include "core/feed/feed_channel.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
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
    swap(arenas_, other.arenas_);
}

void FeedChannel::Clear() {
    title_.clear();
    link_.clear();
    description_.clear();
    dateText_.clear();
    // An item in the arenas owns nothing outside them (its texts are there
    // too), so releasing them ends every item without visiting each.
    arenas_.reset();
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
    // The arenas' blocks grow with the feed, so that a small one stays small.
    if (!arenas_) arenas_ = std::make_unique<Arenas>();
    void* place = arenas_->keys.allocate(sizeof(FeedItem), alignof(FeedItem));
    return new (place)
        FeedItem(source, FeedItem::CloneTag{}, ItemStorage{&arenas_->keys, &arenas_->bodies, true});
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

// What a lookup needs of one current item, copied out of the feed: the
// headline and date bytes follow this header in the index's own storage.
struct KeyRecord {
    const FeedItem* item;
    std::uint32_t headlineSize;
    std::uint32_t dateSize;
    std::uint8_t read;

    std::string_view headline() const {
        return {reinterpret_cast<const char*>(this + 1), headlineSize};
    }
    std::string_view dateText() const {
        return {reinterpret_cast<const char*>(this + 1) + headlineSize, dateSize};
    }
};

// The current feed's items by headline, first occurrence winning.
//
// A large feed is far bigger than the caches, and looking its items up in
// arbitrary order would wait on main memory several times per item. So the
// index copies what a lookup reads (headline, date, read mark) into compact
// records, in one sequential pass, and the open-addressing table points at
// those: a lookup then touches its slot and one small record, and the walks
// ask for both several items ahead so that the waits overlap.
class HeadlineIndex {
  public:
    explicit HeadlineIndex(const FeedChannel& current) {
        const std::size_t count = static_cast<std::size_t>(current.count());
        std::size_t size = 16;
        while (size < 2 * count) size *= 2;
        slots_.assign(size, Slot{});
        mask_ = size - 1;
        records_.reserve(count * 96);

        Pipeline(current.first(), [&](const FeedItem* item, std::size_t hash) {
            Slot* slot = &slots_[hash & mask_];
            for (; slot->record != kEmpty; slot = Following(slot)) {
                if (slot->hash == hash && Record(*slot).headline() == item->headline()) {
                    return;  // the first of two equal headlines decides
                }
            }
            *slot = Slot{hash, Append(*item)};
        });
    }

    // Walks `items` and calls `visit(item, record)` with the record of the
    // first current item of the same headline, or nullptr.
    template <typename Visit>
    void ForEachMatch(FeedItem* items, Visit visit) const {
        Pipeline(items, [&](FeedItem* item, std::size_t hash) {
            const KeyRecord* found = nullptr;
            for (const Slot* slot = &slots_[hash & mask_]; slot->record != kEmpty;
                 slot = Following(slot)) {
                if (slot->hash == hash && Record(*slot).headline() == item->headline()) {
                    found = &Record(*slot);
                    break;
                }
            }
            visit(item, found);
        });
    }

  private:
    static constexpr std::size_t kEmpty = ~std::size_t{0};

    struct Slot {
        std::size_t hash = 0;
        std::size_t record = kEmpty;  // offset in records_
    };

    // Calls `step(item, hash)` for each item of the list in order. It asks for
    // the slot and the headline of items well ahead of the step, and a little
    // later for the record the slot names, so that a step rarely waits on
    // memory.
    template <typename Item, typename Step>
    void Pipeline(Item* first, Step step) const {
        constexpr std::size_t kDepth = 16, kRecordStage = 8;
        struct Pending {
            Item* item;
            std::size_t hash;
        };
        Pending ring[kDepth];
        std::size_t fetched = 0;
        Item* next = first;
        const auto fetch = [&] {
            if (!next) return;
            const std::size_t hash = next->headlineHash();
            __builtin_prefetch(&slots_[hash & mask_]);
            __builtin_prefetch(next->headline().data());
            ring[fetched++ % kDepth] = Pending{next, hash};
            next = next->next();
        };
        for (std::size_t i = 0; i < kDepth; ++i) fetch();

        for (std::size_t taken = 0; taken < fetched; ++taken) {
            if (taken + kRecordStage < fetched) {
                const Slot& home = slots_[ring[(taken + kRecordStage) % kDepth].hash & mask_];
                if (home.record != kEmpty) __builtin_prefetch(&Record(home));
            }
            const Pending current = ring[taken % kDepth];
            fetch();
            step(current.item, current.hash);
        }
    }

    std::size_t Append(const FeedItem& item) {
        const std::string_view headline = item.headline(), date = item.dateText();
        const std::size_t at = records_.size();
        const std::size_t bytes = sizeof(KeyRecord) + headline.size() + date.size();
        // Records start on the header's alignment.
        records_.resize(at +
                        (bytes + alignof(KeyRecord) - 1) / alignof(KeyRecord) * alignof(KeyRecord));
        auto* record =
            new (&records_[at]) KeyRecord{&item, static_cast<std::uint32_t>(headline.size()),
                                          static_cast<std::uint32_t>(date.size()), item.read};
        char* text = reinterpret_cast<char*>(record + 1);
        std::memcpy(text, headline.data(), headline.size());
        std::memcpy(text + headline.size(), date.data(), date.size());
        return at;
    }

    const KeyRecord& Record(const Slot& slot) const {
        return *reinterpret_cast<const KeyRecord*>(&records_[slot.record]);
    }

    const Slot* Following(const Slot* slot) const {
        return slot == &slots_.back() ? slots_.data() : slot + 1;
    }
    Slot* Following(Slot* slot) { return slot == &slots_.back() ? slots_.data() : slot + 1; }

    std::vector<Slot> slots_;
    std::size_t mask_ = 0;
    std::vector<std::byte> records_;
};

// Carries the read marks; gives the current item that decided the last lookup.
const FeedItem* Merge(const FeedChannel& current, FeedChannel& incoming, bool& news) {
    const HeadlineIndex index(current);
    news = false;
    const FeedItem* last = nullptr;
    index.ForEachMatch(incoming.first(), [&](FeedItem* p, const KeyRecord* q) {
        if (q && q->dateText() == p->dateText()) {
            p->read = q->read;
        } else {
            p->read = 0;
            news = true;
        }
        last = q ? q->item : nullptr;
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
