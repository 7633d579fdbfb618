#include "core/shell/store_schedule.h"

namespace velmora {

void StoreSchedule::Saved(std::uint64_t digest, std::uint64_t nowMs) {
    savedDigest_ = digest;
    lastWriteMs_ = nowMs;
    failed_ = false;
}

void StoreSchedule::Failed(std::uint64_t nowMs) {
    lastWriteMs_ = nowMs;
    failed_ = true;
}

std::optional<std::uint64_t> StoreSchedule::WaitBeforeWrite(std::uint64_t digest,
                                                            std::uint64_t nowMs) const {
    if (!Unsaved(digest)) return std::nullopt;
    if (!lastWriteMs_ || nowMs < *lastWriteMs_) return 0;
    const std::uint64_t since = nowMs - *lastWriteMs_;
    return since >= intervalMs_ ? 0 : intervalMs_ - since;
}

}  // namespace velmora
