#pragma once
// The item store: the current feed with read marks and colours, kept across
// runs in section "Subscription" of the profile file VELMORA.dat.

#include <filesystem>

#include "core/feed/feed_channel.h"

namespace velmora {

inline constexpr const char* kItemStoreSection = "Subscription";

// Fills `channel` (normally empty) from the store. A missing file or section
// gives an empty channel. False only when an existing file cannot be read.
bool LoadItemStore(const std::filesystem::path& file, FeedChannel& channel);

// Replaces section "Subscription" with the channel's contents; other sections
// are kept byte for byte. The file is replaced atomically: on failure (false)
// the previous file is intact and no temporary file is left.
bool SaveItemStore(const std::filesystem::path& file, const FeedChannel& channel);

}  // namespace velmora
