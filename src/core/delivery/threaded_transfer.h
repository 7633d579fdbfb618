#pragma once
// Runs a transfer off the calling thread so that the desktop keeps dispatching
// timers and clicks meanwhile. The caller's thread waits through a
// TransferWaiter: the Qt shell spins a local event loop, tests simply block.

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <stop_token>
#include <string>
#include <vector>

#include "core/delivery/transfer.h"

namespace velmora {

// How the calling thread waits for a transfer running elsewhere.
class TransferWaiter {
  public:
    virtual ~TransferWaiter() = default;
    // Called on the calling thread; returns only once `done()` gives true.
    // Between checks it may dispatch events (a QEventLoop, processEvents).
    virtual void WaitUntil(const std::function<bool()>& done) = 0;
    // Called on the worker thread once the answer is ready: wake the waiting
    // loop so that it checks `done()` again (e.g. QAbstractEventDispatcher::wakeUp).
    virtual void Wake() = 0;
};

// Blocks on a condition variable: for tests, tools and threads without events.
class BlockingWaiter final : public TransferWaiter {
  public:
    void WaitUntil(const std::function<bool()>& done) override;
    void Wake() override;

  private:
    std::mutex mutex_;
    std::condition_variable woken_;
};

// A Transfer whose Get runs `inner.Get` on a worker thread and waits with
// `waiter`. Cancel() (e.g. when the program quits during a request) makes the
// running Get end soon as a failed transfer; later Gets run normally.
class ThreadedTransfer final : public Transfer {
  public:
    ThreadedTransfer(Transfer& inner, TransferWaiter& waiter);
    ~ThreadedTransfer() override;

    TransferAnswer Get(const std::string& address, std::uint32_t timeoutSeconds,
                       std::stop_token stop = {}) override;

    // Thread-safe; a no-op when no transfer runs.
    void Cancel();

  private:
    Transfer& inner_;
    TransferWaiter& waiter_;
    std::mutex mutex_;
    std::vector<std::stop_source*> running_;  // one per Get in progress, guarded by mutex_
};

}  // namespace velmora
