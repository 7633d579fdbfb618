#pragma once
// The item store: the current feed with read marks and colours, kept across
// runs in section "Subscription" of the profile file VELMORA.dat.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>

#include "core/feed/feed_channel.h"

namespace velmora {

inline constexpr const char* kItemStoreSection = "Subscription";

// The largest store that is read: four times the largest feed answer, while
// a full feed of 10 000 items takes about 8 MB.
inline constexpr std::size_t kMaxItemStoreBytes = 32u << 20;

// Fills `channel` (normally empty) from the store, keeping the first
// kMaxFeedItems items as a fetched feed does (said on stderr). A missing file
// or section gives an empty channel. False only when an existing file cannot
// be read; a file of more than kMaxItemStoreBytes is not read at all (said on
// stderr) and is set aside by the next save.
bool LoadItemStore(const std::filesystem::path& file, FeedChannel& channel);

// A digest of everything a save writes for `channel`: equal digests mean an
// equal store section (but for a hash collision).
std::uint64_t ItemStoreDigest(const FeedChannel& channel);

// True when nothing stands at `file`: a store removed while the program ran is
// written back at the end even when the feed did not change.
bool ItemStoreGone(const std::filesystem::path& file);

// Why a save failed: the errno and a line for people.
struct StoreError {
    int number = 0;
    std::string reason;
};

// Replaces section "Subscription" with the channel's contents; other sections
// are kept byte for byte. The file is replaced atomically: on failure (false,
// `error` says why when given) the previous file is intact and no temporary
// file is left. A file too large to read is first renamed to NAME.too-large
// (said on stderr), so that nothing of it is lost.
bool SaveItemStore(const std::filesystem::path& file, const FeedChannel& channel,
                   StoreError* error = nullptr);

}  // namespace velmora
