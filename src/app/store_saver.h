#pragma once
// Keeps the item store in step with the current feed while the program runs.
// A change is written at once when the last write is older than the interval,
// otherwise when the interval has passed: a crash loses at most the last few
// seconds, and a burst of changes costs one write.

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>
#include <cstdint>
#include <filesystem>
#include <functional>

#include "core/feed/feed_channel.h"
#include "core/feed/item_store.h"

namespace velmora {

inline constexpr int kStoreSaveIntervalMs = 5000;

class StoreSaver : public QObject {
    Q_OBJECT
  public:
    // `channel` is the feed to keep; it must outlive the saver.
    StoreSaver(std::filesystem::path file, const FeedChannel& channel,
               int intervalMs = kStoreSaveIntervalMs, QObject* parent = nullptr);

    // What the channel holds now is what the file holds (right after loading).
    void MarkSaved();
    // Called whenever the channel may have changed (after a cycle): a write is
    // scheduled when it differs from what was last written, or when the last
    // write failed.
    void FeedMayHaveChanged();
    // While `busy` holds, a due write waits for the next FeedMayHaveChanged.
    void SetBusy(std::function<bool()> busy) { busy_ = std::move(busy); }

    // Writes now, whatever the interval, unless the file is there and already
    // holds the channel (as loaded or last written): then nothing is written.
    // False when the write failed.
    bool SaveNow();

    bool Pending() const { return pending_; }
    const StoreError& LastError() const { return lastError_; }
    const std::filesystem::path& File() const { return file_; }

  signals:
    // After every write: `ok` false when it failed (the reason is LastError()).
    void saved(bool ok);

  private:
    void Schedule();
    void OnDue();

    std::filesystem::path file_;
    const FeedChannel& channel_;
    int intervalMs_;
    QTimer timer_;
    QElapsedTimer sinceLastWrite_;
    std::function<bool()> busy_;
    std::uint64_t savedDigest_ = 0;
    bool pending_ = false;
    StoreError lastError_;
};

}  // namespace velmora
