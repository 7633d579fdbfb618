#include "core/popup/card_record.h"

#include "core/feed/feed_channel.h"

namespace velmora {

std::vector<CardRecord> CardRecordsOf(const FeedChannel& channel) {
    const std::size_t count = channel.Count() > 0 ? static_cast<std::size_t>(channel.Count()) : 0;
    std::vector<CardRecord> records;
    records.reserve(count);
    for (const FeedItem* item = channel.First(); item && records.size() < count;
         item = item->Next())
        records.push_back({std::string(item->Headline()), std::string(item->Detail()),
                           std::string(item->Link()), std::string(item->Image())});
    return records;
}

}  // namespace velmora
