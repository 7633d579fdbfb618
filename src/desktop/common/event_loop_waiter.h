#pragma once
// The UI thread's way of waiting for a transfer on the worker thread: it keeps
// dispatching events (timers, clicks, a quit) until the answer is there.

#include <QAbstractEventDispatcher>
#include <QThread>

#include "core/delivery/threaded_transfer.h"

namespace velmora {

class EventLoopWaiter final : public TransferWaiter {
  public:
    // Built on the thread that will wait (the UI thread).
    EventLoopWaiter();
    void WaitUntil(const std::function<bool()>& done) override;
    // From the worker thread.
    void Wake() override;

  private:
    QAbstractEventDispatcher* dispatcher_;  // the UI thread's, alive as long as the program
};

}  // namespace velmora
