#pragma once
// The tool sheet's transfer: once the program quits, the running request is
// stopped and every further one fails at once, so that a cycle still running
// unwinds quickly. Qt-free.

#include <atomic>
#include <mutex>
#include <stop_token>
#include <vector>

#include "core/delivery/transfer.h"

namespace velmora {

class QuittableTransfer final : public Transfer {
  public:
    explicit QuittableTransfer(Transfer& inner) : inner_(inner) {}

    TransferAnswer Get(const std::string& address, std::uint32_t timeoutSeconds,
                       std::stop_token stop = {}) override;

    // Thread-safe.
    void Quit();
    bool Quitting() const { return quitting_.load(); }

  private:
    Transfer& inner_;
    std::mutex mutex_;
    std::atomic<bool> quitting_{false};       // set under mutex_
    std::vector<std::stop_source*> running_;  // one per Get in progress, guarded by mutex_
};

}  // namespace velmora
