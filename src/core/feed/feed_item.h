#pragma once
// One news item of a feed. Texts are CP932 bytes.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

namespace velmora {

// The application's two item colours (0x00BBGGRR), read from the settings
// "TextColor" and "ReadTextColor" at start-up and handed to the feed model.
struct ItemColors {
    std::uint32_t text = 0;             // unread items
    std::uint32_t readText = 0xFFFFFF;  // read items
};

// Every "%26" becomes "&"; the output is not scanned again ("%2526" stays,
// "%26%26" gives "&&") and a match never starts inside a double-byte character.
std::string UnescapeAmpersand(std::string_view text);

class FeedChannel;

class FeedItem {
  public:
    explicit FeedItem(ItemColors colors = {});
    FeedItem(const FeedItem&) = delete;  // items live in one channel's list; use CloneItem
    FeedItem& operator=(const FeedItem&) = delete;
    virtual ~FeedItem();

    // Back to the defaults: no neighbours, empty texts, unread, the given colours.
    void Clear();

    void SetHeadline(std::string_view text) {
        headline_ = text;
        headlineHash_ = std::hash<std::string_view>()(text);
    }
    void SetLink(std::string_view text) { link_ = UnescapeAmpersand(text); }
    void SetDetail(std::string_view text) { detail_ = text; }
    void SetImage(std::string_view text) { image_ = UnescapeAmpersand(text); }
    void SetDate(std::string_view text) { dateText_ = text; }

    std::string_view Headline() const { return headline_; }
    // The headline's std::hash, kept for merges: the items are hashed once.
    std::size_t HeadlineHash() const { return headlineHash_; }
    std::string_view Link() const { return link_; }
    std::string_view Detail() const { return detail_; }
    std::string_view Image() const { return image_; }
    std::string_view DateText() const { return dateText_; }

    FeedItem* Prev() const { return prev_; }
    FeedItem* Next() const { return next_; }

  private:
    friend class FeedChannel;
    friend std::unique_ptr<FeedItem> CloneItem(const FeedItem& item);

    // Texts and colours of `item`; the read mark and neighbours stay.
    void CopyTexts(const FeedItem& item);

    FeedItem* prev_ = nullptr;
    FeedItem* next_ = nullptr;
    ItemColors defaults_;  // the colours Clear restores
    // Headline and date beside the links: a merge reads only these.
    std::string headline_;
    std::size_t headlineHash_ = std::hash<std::string_view>()({});
    std::string dateText_;
    std::string link_;
    std::string detail_;
    std::string image_;

  public:
    // Colours and the read mark are read and written directly.
    std::uint32_t textColor = 0;
    std::uint32_t readTextColor = 0xFFFFFF;
    std::uint8_t read = 0;
};

// A new unread item with the texts and colours of `item` and no neighbours.
std::unique_ptr<FeedItem> CloneItem(const FeedItem& item);

}  // namespace velmora
