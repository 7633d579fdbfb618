#pragma once
// When the item store is written while the program runs: a change is written
// at once when the last write is older than the interval, otherwise when the
// interval has passed; nothing is written when the feed is what the file
// holds (as loaded or last written), not even at the end, unless the file is
// gone. A failed write leaves the feed unsaved, so the next chance tries
// again. A crash loses at most the last few seconds, and a burst of changes
// costs one write. Times are milliseconds of any steady clock; a feed is
// known by ItemStoreDigest.

#include <cstdint>
#include <optional>

namespace velmora {

inline constexpr std::uint32_t kStoreSaveIntervalMs = 5000;

class StoreSchedule {
  public:
    explicit StoreSchedule(std::uint32_t intervalMs = kStoreSaveIntervalMs)
        : intervalMs_(intervalMs) {}

    // The file holds the feed whose digest is `digest`, as loaded: the first
    // change is written at once.
    void Loaded(std::uint64_t digest) { savedDigest_ = digest; }
    // The feed with `digest` was written at `nowMs`.
    void Saved(std::uint64_t digest, std::uint64_t nowMs);
    // A write failed at `nowMs`: the next change tries again.
    void Failed(std::uint64_t nowMs);
    // True when the feed with `digest` is not what the file holds, or the
    // last write failed: a write is due, now or later.
    bool Unsaved(std::uint64_t digest) const { return failed_ || savedDigest_ != digest; }
    // Whether a write made now, whatever the interval (at the end), is needed:
    // the feed is unsaved, or the file is gone, and with it what it held.
    bool WriteNeeded(std::uint64_t digest, bool fileGone) const {
        return fileGone || Unsaved(digest);
    }
    // How long to wait before writing the feed with `digest`: 0 for now,
    // nothing when the file holds it already.
    std::optional<std::uint64_t> WaitBeforeWrite(std::uint64_t digest, std::uint64_t nowMs) const;
    bool LastWriteFailed() const { return failed_; }

  private:
    std::uint32_t intervalMs_;
    std::optional<std::uint64_t> savedDigest_;
    std::optional<std::uint64_t> lastWriteMs_;
    bool failed_ = false;
};

}  // namespace velmora
