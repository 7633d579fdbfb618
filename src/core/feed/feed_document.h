#pragma once
// Loading the service's XML answers (the RDF channel document and the
// LuMoClient identity document) into a FeedChannel.

#include <cstddef>
#include <filesystem>

#include "core/feed/feed_channel.h"

namespace velmora {

// A news channel sends tens of items; a document with more than this keeps
// its first ones, so that one huge answer cannot swell the store for good.
inline constexpr std::size_t kMaxFeedItems = 10000;

// The largest work file read: well above the transfer's cap on an answer
// (8 MiB), so that only a file that is no answer of ours is refused.
inline constexpr std::size_t kMaxDocumentBytes = 64u * 1024u * 1024u;

enum class DocumentLoad { Loaded, Unreadable };

// Empties `channel` (keeping its identity), then fills it from the document in
// `workFile`. A file that cannot be read or is not well-formed XML gives
// Unreadable with an empty channel; a well-formed document of another kind
// gives Loaded with an empty channel. Touches nothing but `workFile`: no
// network, no external DTD or entity.
DocumentLoad LoadFeedDocument(const std::filesystem::path& workFile, FeedChannel& channel);

}  // namespace velmora
