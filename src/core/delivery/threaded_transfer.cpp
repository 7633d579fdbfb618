#include "core/delivery/threaded_transfer.h"

#include <algorithm>
#include <atomic>
#include <exception>
#include <thread>
#include <utility>

#include "core/delivery/stop_relay.h"

namespace velmora {

void BlockingWaiter::WaitUntil(const std::function<bool()>& done) {
    std::unique_lock lock(mutex_);
    woken_.wait(lock, done);
}

void BlockingWaiter::Wake() {
    std::lock_guard lock(mutex_);
    woken_.notify_all();
}

ThreadedTransfer::ThreadedTransfer(Transfer& inner, TransferWaiter& waiter)
    : inner_(inner), waiter_(waiter) {}

ThreadedTransfer::~ThreadedTransfer() = default;

TransferAnswer ThreadedTransfer::Get(const std::string& address, std::uint32_t timeoutSeconds,
                                     std::stop_token stop) {
    std::stop_source source;
    {
        std::lock_guard lock(mutex_);
        running_.push_back(&source);
    }
    const StopRelay forward(std::move(stop), source);

    TransferAnswer answer;
    std::atomic<bool> done{false};
    std::thread worker([&] {
        try {
            answer = inner_.Get(address, timeoutSeconds, source.get_token());
        } catch (const std::exception& e) {
            answer = TransferAnswer{};
            answer.failure = e.what();
        }
        done.store(true, std::memory_order_release);
        waiter_.Wake();
    });

    auto finish = [&] {
        worker.join();
        std::lock_guard lock(mutex_);
        running_.erase(std::find(running_.begin(), running_.end(), &source));
    };
    try {
        waiter_.WaitUntil([&done] { return done.load(std::memory_order_acquire); });
    } catch (...) {
        source.request_stop();
        finish();
        throw;
    }
    finish();
    return answer;
}

void ThreadedTransfer::Cancel() {
    std::lock_guard lock(mutex_);
    for (std::stop_source* source : running_) source->request_stop();
}

}  // namespace velmora
