#pragma once
// Keeps the item store in step with the current feed while the program runs:
// the timer and the writes of the core's StoreSchedule, which decides when.

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>
#include <cstdint>
#include <filesystem>
#include <functional>

#include "core/feed/feed_channel.h"
#include "core/feed/item_store.h"
#include "core/shell/store_schedule.h"

namespace velmora {

class StoreSaver : public QObject {
    Q_OBJECT
  public:
    // `channel` is the feed to keep; it must outlive the saver.
    StoreSaver(std::filesystem::path file, const FeedChannel& channel,
               std::uint32_t intervalMs = kStoreSaveIntervalMs, QObject* parent = nullptr);

    // What the channel holds now is what the file holds (right after loading).
    void MarkSaved();
    // Called whenever the channel may have changed (after a cycle): a write is
    // scheduled when it is unsaved.
    void FeedMayHaveChanged();
    // While `busy` holds, a due write waits for the next FeedMayHaveChanged.
    void SetBusy(std::function<bool()> busy) { busy_ = std::move(busy); }

    // Writes now, whatever the interval, unless the file is there and holds
    // the channel already: then nothing is written. False when the write failed.
    bool SaveNow();

    // The channel is not what the file holds, or the last write failed.
    bool Pending() const;
    const StoreError& LastError() const { return lastError_; }
    const std::filesystem::path& File() const { return file_; }

  signals:
    // After every write: `ok` false when it failed (the reason is LastError()).
    void saved(bool ok);

  private:
    void OnDue();
    std::uint64_t NowMs() const { return static_cast<std::uint64_t>(clock_.elapsed()); }

    std::filesystem::path file_;
    const FeedChannel& channel_;
    StoreSchedule schedule_;
    QTimer timer_;
    QElapsedTimer clock_;
    std::function<bool()> busy_;
    StoreError lastError_;
};

}  // namespace velmora
