#include "core/delivery/stop_relay.h"

#include <chrono>
#include <utility>

namespace velmora {

namespace {
// How late a stop may reach the transfer: well below what a user notices.
constexpr std::chrono::milliseconds kLookEvery{50};
}  // namespace

StopRelay::StopRelay(std::stop_token from, std::stop_source& to) {
    if (!from.stop_possible()) return;
    if (from.stop_requested()) {
        to.request_stop();
        return;
    }
    watcher_ = std::thread([this, from = std::move(from), &to] {
        std::unique_lock lock(mutex_);
        while (!ending_.wait_for(lock, kLookEvery, [this] { return ended_; })) {
            if (from.stop_requested()) {
                to.request_stop();
                return;
            }
        }
    });
}

StopRelay::~StopRelay() {
    if (!watcher_.joinable()) return;
    {
        std::lock_guard lock(mutex_);
        ended_ = true;
    }
    ending_.notify_one();
    watcher_.join();
}

}  // namespace velmora
