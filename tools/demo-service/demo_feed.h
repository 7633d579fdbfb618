#pragma once
// The demo channel: Japanese news items that grow over time, rendered as the
// RDF document the client expects (UTF-8).

#include <cstddef>
#include <ctime>
#include <string>
#include <vector>

namespace velmora::demo {

struct DemoItem {
    int number = 0;        // stable, unique; also names its page and picture
    std::string headline;  // UTF-8
    std::string detail;    // UTF-8
    std::string dateText;  // as sent, e.g. 2024-05-01T09:00:00+09:00
    bool emergency = false;
    int picture = 1;  // /images/<picture>.png
};

class DemoFeed {
  public:
    // `baseUrl` (http://host:port) prefixes links and pictures.
    explicit DemoFeed(std::string baseUrl = {});

    void SetBaseUrl(std::string baseUrl);
    // Adds one item in front (newest first), dated `now`.
    void AddItem(std::time_t now);
    // Replaces everything with `count` items (the emergency item among them).
    void Reset(std::size_t count, std::time_t now);
    // Gives the item at `index` (0 = newest) a new date text; false when out of range.
    bool Redate(std::size_t index);

    const std::vector<DemoItem>& Items() const { return items_; }
    const DemoItem* FindItem(int number) const;

    // The channel document. Built again only after a change.
    const std::string& Document();

  private:
    DemoItem MakeItem(std::time_t when);

    std::string baseUrl_;
    std::vector<DemoItem> items_;
    int nextNumber_ = 1;
    std::string document_;
    bool dirty_ = true;
};

// The ticker messages and their link paths, as the channel carries them
// ("|" between pieces, UTF-8).
std::string TickerDescription();
std::string TickerLinks(const std::string& baseUrl);

// "%Y-%m-%dT%H:%M:%S+09:00" of `when` in local time, as the client writes its own.
std::string FormatDate(std::time_t when);

// A small HTML page for an item (or the index when `item` is null), UTF-8.
std::string ItemPage(const DemoItem* item);

}  // namespace velmora::demo
