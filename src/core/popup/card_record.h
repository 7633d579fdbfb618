#pragma once
// What the popup keeps of one news item or one ticker message. CP932 texts.

#include <string>
#include <vector>

namespace velmora {

struct CardRecord {
    std::string headline;  // item headline, or the ticker message text
    std::string detail;    // item detail; empty for a ticker message
    std::string link;      // address of the item's or the message's page
    std::string image;     // address of the item's picture; empty for a ticker message

    bool operator==(const CardRecord&) const = default;
};

class FeedChannel;

// The channel's items in order, as many as it counts.
std::vector<CardRecord> CardRecordsOf(const FeedChannel& channel);

}  // namespace velmora
