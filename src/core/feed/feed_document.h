#pragma once
// Loading the service's XML answers (the RDF channel document and the
// LuMoClient identity document) into a FeedChannel.

#include <cstddef>
#include <filesystem>

#include "core/delivery/error_table.h"
#include "core/delivery/fetch_result.h"
#include "core/feed/feed_channel.h"

namespace velmora {

// A news channel sends tens of items; a document with more than this keeps
// its first ones, so that one huge answer cannot swell the store for good.
inline constexpr std::size_t kMaxFeedItems = 10000;

// Empties `channel` (keeping its identity), then fills it from the document in
// `workFile`. A file that cannot be read or is not well-formed XML reports
// 58 (detail 0) through `errors` and gives FetchFailed with an empty channel;
// a well-formed document of another kind gives FetchOk with an empty channel.
// Touches nothing but `workFile`: no network, no external DTD or entity.
FetchResult LoadFeedDocument(const std::filesystem::path& workFile, FeedChannel& channel,
                             ErrorState& errors);

}  // namespace velmora
