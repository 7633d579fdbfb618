#include "app/store_saver.h"

#include <cstdio>
#include <optional>

namespace velmora {

StoreSaver::StoreSaver(std::filesystem::path file, const FeedChannel& channel,
                       std::uint32_t intervalMs, QObject* parent)
    : QObject(parent), file_(std::move(file)), channel_(channel), schedule_(intervalMs) {
    timer_.setSingleShot(true);
    connect(&timer_, &QTimer::timeout, this, &StoreSaver::OnDue);
    clock_.start();
}

void StoreSaver::MarkSaved() {
    schedule_.Loaded(ItemStoreDigest(channel_));
}

void StoreSaver::FeedMayHaveChanged() {
    // A write already due takes this change too: a burst costs one write.
    if (timer_.isActive()) return;
    const std::optional<std::uint64_t> wait =
        schedule_.WaitBeforeWrite(ItemStoreDigest(channel_), NowMs());
    // Even a write due now waits for the event loop: the cycle that asks
    // reports its own outcome first.
    if (wait) timer_.start(static_cast<int>(*wait));
}

void StoreSaver::OnDue() {
    if (busy_ && busy_()) return;
    SaveNow();
}

bool StoreSaver::SaveNow() {
    timer_.stop();
    const std::uint64_t digest = ItemStoreDigest(channel_);
    if (!schedule_.WriteNeeded(digest, ItemStoreGone(file_))) return true;
    StoreError error;
    const bool ok = SaveItemStore(file_, channel_, &error);
    if (ok) {
        schedule_.Saved(digest, NowMs());
    } else {
        schedule_.Failed(NowMs());
        std::fprintf(stderr, "velmora: cannot save the news to %s: %s\n", file_.c_str(),
                     error.reason.c_str());
    }
    lastError_ = error;
    emit saved(ok);
    return ok;
}

bool StoreSaver::Pending() const {
    return schedule_.Unsaved(ItemStoreDigest(channel_));
}

}  // namespace velmora
