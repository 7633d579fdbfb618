#include "core/delivery/threaded_transfer.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <stdexcept>
#include <thread>

#include "support/delivery_fakes.h"

namespace velmora {
namespace {

// Blocks until stopped, as a transfer from a dead server would, looking at the
// token as the curl transfer does (no stop callback: see stop_relay.h).
class HangingTransfer final : public Transfer {
  public:
    TransferAnswer Get(const std::string&, std::uint32_t, std::stop_token stop) override {
        started.store(true);
        while (!stop.stop_requested()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
        return test_support::FailedAnswer("cancelled");
    }
    std::atomic<bool> started{false};
};

class ThreadRecorder final : public Transfer {
  public:
    TransferAnswer Get(const std::string& address, std::uint32_t timeout,
                       std::stop_token) override {
        thread = std::this_thread::get_id();
        this->timeout = timeout;
        if (address == "throw") throw std::runtime_error("out of luck");
        return test_support::BodyAnswer("answer for " + address);
    }
    std::thread::id thread;
    std::uint32_t timeout = 0;
};

// Counts its calls and keeps dispatching "events" (here: a callback) while waiting.
class CountingWaiter final : public TransferWaiter {
  public:
    void WaitUntil(const std::function<bool()>& done) override {
        waitThread = std::this_thread::get_id();
        while (!done()) {
            if (whileWaiting) whileWaiting();
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    }
    void Wake() override { wakes.fetch_add(1); }
    std::thread::id waitThread;
    std::atomic<int> wakes{0};
    std::function<void()> whileWaiting;
};

TEST(ThreadedTransfer, RunsOffTheCallingThreadWhileTheCallerKeepsDispatching) {
    ThreadRecorder inner;
    CountingWaiter waiter;
    int dispatched = 0;
    waiter.whileWaiting = [&] { ++dispatched; };
    ThreadedTransfer transfer(inner, waiter);

    TransferAnswer answer = transfer.Get("http://a/", 12);
    EXPECT_EQ(answer.kind, TransferAnswer::Kind::Body);
    EXPECT_EQ(answer.bytes, "answer for http://a/");
    EXPECT_EQ(inner.timeout, 12u);
    EXPECT_NE(inner.thread, std::this_thread::get_id());
    EXPECT_EQ(waiter.waitThread, std::this_thread::get_id());
    EXPECT_EQ(waiter.wakes.load(), 1);
}

TEST(ThreadedTransfer, AnExceptionOnTheWorkerBecomesAFailedTransfer) {
    ThreadRecorder inner;
    BlockingWaiter waiter;
    ThreadedTransfer transfer(inner, waiter);

    TransferAnswer answer = transfer.Get("throw", 0);
    EXPECT_EQ(answer.kind, TransferAnswer::Kind::Failed);
    EXPECT_EQ(answer.failure, "out of luck");
}

TEST(ThreadedTransfer, CancelEndsARunningTransferAndLaterOnesRunNormally) {
    HangingTransfer hanging;
    CountingWaiter waiter;
    ThreadedTransfer transfer(hanging, waiter);
    waiter.whileWaiting = [&] {
        if (hanging.started.load()) transfer.Cancel();  // e.g. the user quits meanwhile
    };

    EXPECT_EQ(transfer.Get("http://dead/", 0).kind, TransferAnswer::Kind::Failed);

    ThreadRecorder healthy;
    ThreadedTransfer again(healthy, waiter);
    waiter.whileWaiting = nullptr;
    transfer.Cancel();  // nothing runs: no effect
    EXPECT_EQ(again.Get("http://b/", 0).kind, TransferAnswer::Kind::Body);
}

TEST(ThreadedTransfer, ForwardsTheCallersStopRequest) {
    HangingTransfer hanging;
    BlockingWaiter waiter;
    ThreadedTransfer transfer(hanging, waiter);
    std::stop_source caller;
    std::thread stopper([&] {
        while (!hanging.started.load()) std::this_thread::yield();
        caller.request_stop();
    });

    EXPECT_EQ(transfer.Get("http://dead/", 0, caller.get_token()).kind,
              TransferAnswer::Kind::Failed);
    stopper.join();
}

}  // namespace
}  // namespace velmora
