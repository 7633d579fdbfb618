#include "app/store_saver.h"

#include <algorithm>
#include <cstdio>
#include <system_error>

namespace velmora {

StoreSaver::StoreSaver(std::filesystem::path file, const FeedChannel& channel, int intervalMs,
                       QObject* parent)
    : QObject(parent), file_(std::move(file)), channel_(channel), intervalMs_(intervalMs) {
    timer_.setSingleShot(true);
    connect(&timer_, &QTimer::timeout, this, &StoreSaver::OnDue);
}

void StoreSaver::MarkSaved() {
    savedDigest_ = ItemStoreDigest(channel_);
    pending_ = false;
}

void StoreSaver::FeedMayHaveChanged() {
    if (!pending_ && ItemStoreDigest(channel_) == savedDigest_) return;
    pending_ = true;
    Schedule();
}

void StoreSaver::Schedule() {
    if (timer_.isActive()) return;
    const qint64 since = sinceLastWrite_.isValid() ? sinceLastWrite_.elapsed() : intervalMs_;
    timer_.start(static_cast<int>(std::max<qint64>(0, intervalMs_ - since)));
}

void StoreSaver::OnDue() {
    if (!pending_ || (busy_ && busy_())) return;
    SaveNow();
}

bool StoreSaver::SaveNow() {
    timer_.stop();
    const std::uint64_t digest = ItemStoreDigest(channel_);
    // A store of megabytes on a slow disk made every quit slow for nothing.
    std::error_code ec;
    if (!pending_ && digest == savedDigest_ && std::filesystem::exists(file_, ec)) return true;
    sinceLastWrite_.start();
    StoreError error;
    const bool ok = SaveItemStore(file_, channel_, &error);
    if (ok) {
        savedDigest_ = digest;
        pending_ = false;
        lastError_ = {};
    } else {
        // Kept pending: the next change tries again.
        pending_ = true;
        lastError_ = error;
        std::fprintf(stderr, "velmora: cannot save the news to %s: %s\n", file_.c_str(),
                     error.reason.c_str());
    }
    emit saved(ok);
    return ok;
}

}  // namespace velmora
