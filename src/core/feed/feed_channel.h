#pragma once
// One feed: the channel's texts, the issued identity and an ordered list of
// items with a shared walking cursor. Texts are CP932 bytes.

#include <cstdint>
#include <deque>
#include <string>
#include <string_view>

#include "core/feed/feed_item.h"

namespace velmora {

class FeedChannel {
  public:
    explicit FeedChannel(ItemColors colors = {});
    FeedChannel(const FeedChannel&) = delete;
    FeedChannel& operator=(const FeedChannel&) = delete;
    FeedChannel(FeedChannel&& other) noexcept;
    FeedChannel& operator=(FeedChannel&& other) noexcept;
    virtual ~FeedChannel();

    // Exchanges everything, colours included (the tool sheet swaps its feeds).
    void swap(FeedChannel& other) noexcept;

    // Empties the texts and the list; issuedId and issuedKey are kept.
    void Clear();

    void SetTitle(std::string_view text) { title_ = text; }
    void SetLink(std::string_view text) { link_ = UnescapeAmpersand(text); }
    void SetDescription(std::string_view text) { description_ = text; }
    void SetDate(std::string_view text) { dateText_ = text; }
    void SetIssuedId(std::string_view text) { issuedId_ = text; }
    void SetIssuedKey(std::string_view text) { issuedKey_ = text; }

    const std::string& Title() const { return title_; }
    const std::string& Link() const { return link_; }
    const std::string& Description() const { return description_; }
    const std::string& DateText() const { return dateText_; }
    const std::string& IssuedId() const { return issuedId_; }
    const std::string& IssuedKey() const { return issuedKey_; }
    std::int32_t Count() const { return count_; }

    // The colours new items of this feed start with.
    ItemColors Colors() const { return colors_; }
    void SetColors(ItemColors colors) { colors_ = colors; }

    FeedItem* First() const { return first_; }
    FeedItem* Last() const { return last_; }

    // The shared walk: MoveFirst, then MoveNext until it gives nullptr. Two
    // walks over one channel must not interleave.
    FeedItem* Cursor() const { return cursor_; }
    FeedItem* MoveFirst() { return cursor_ = first_; }
    FeedItem* MoveNext() { return cursor_ = cursor_ ? cursor_->next_ : nullptr; }
    void SetCursor(FeedItem* item) { cursor_ = item; }

    // Texts of the cursor item; empty when there is no cursor.
    std::string CurrentHeadline() const;
    std::string CurrentLink() const;
    std::string CurrentImage() const;
    std::string CurrentDetail() const;

    // Appends a copy of `item` (as CloneItem makes it) at the tail and leaves the
    // cursor on the new item. The channel owns its items: never delete one.
    FeedItem* AppendCopy(const FeedItem& item);

    // First item whose headline equals `text` byte for byte, or nullptr; the
    // cursor is left on the result.
    FeedItem* FindByHeadline(std::string_view text);

    // Run on the current feed: carries read marks into `incoming` and tells
    // whether it holds anything new or changed. Leaves both cursors where the
    // item-by-item walk would (incoming: none; this: the last lookup's result).
    bool MergeReadMarks(FeedChannel& incoming);

  private:
    friend bool MergeReadMarks(const FeedChannel& current, FeedChannel& incoming);
    static const FeedItem* Merge(const FeedChannel& current, FeedChannel& incoming, bool& news);

    ItemColors colors_;
    // The items in list order, in blocks: a merge walks them without chasing
    // one pointer per item through memory that has left the caches.
    std::deque<FeedItem> items_;
    FeedItem* first_ = nullptr;
    FeedItem* last_ = nullptr;
    FeedItem* cursor_ = nullptr;
    std::string title_;
    std::string link_;
    std::string description_;
    std::string dateText_;
    std::string issuedId_;
    std::string issuedKey_;
    std::int32_t count_ = 0;
};

inline void swap(FeedChannel& a, FeedChannel& b) noexcept {
    a.swap(b);
}

// The same merge without touching the current feed's cursor. Linear in the
// number of items: the current feed is looked up by headline, first occurrence
// winning. An incoming item keeps the read mark of its current namesake unless
// its date text differs; an unknown or re-dated item is unread and makes the
// result true.
bool MergeReadMarks(const FeedChannel& current, FeedChannel& incoming);

}  // namespace velmora
