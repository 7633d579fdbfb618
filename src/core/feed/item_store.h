#pragma once
// The item store: the current feed with read marks and colours, kept across
// runs in section "Subscription" of the profile file VELMORA.dat.

#include <cstdint>
#include <filesystem>
#include <string>

#include "core/feed/feed_channel.h"

namespace velmora {

inline constexpr const char* kItemStoreSection = "Subscription";

// Fills `channel` (normally empty) from the store. A missing file or section
// gives an empty channel. False only when an existing file cannot be read.
bool LoadItemStore(const std::filesystem::path& file, FeedChannel& channel);

// A digest of everything a save writes for `channel`: equal digests mean an
// equal store section (but for a hash collision).
std::uint64_t ItemStoreDigest(const FeedChannel& channel);

// Why a save failed: the errno and a line for people.
struct StoreError {
    int number = 0;
    std::string reason;
};

// Replaces section "Subscription" with the channel's contents; other sections
// are kept byte for byte. The file is replaced atomically: on failure (false,
// `error` says why when given) the previous file is intact and no temporary
// file is left.
bool SaveItemStore(const std::filesystem::path& file, const FeedChannel& channel,
                   StoreError* error = nullptr);

}  // namespace velmora
