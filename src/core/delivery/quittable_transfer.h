#pragma once
// The tool sheet's transfer: once the program quits, the running request is
// stopped and every further one fails at once, so that a cycle still running
// unwinds quickly. Qt-free.

#include <stop_token>

#include "core/delivery/transfer.h"

namespace velmora {

class QuittableTransfer final : public Transfer {
  public:
    explicit QuittableTransfer(Transfer& inner) : inner_(inner) {}

    TransferAnswer Get(const std::string& address, std::uint32_t timeoutSeconds,
                       std::stop_token stop = {}) override;

    // Thread-safe.
    void Quit() { quit_.request_stop(); }
    bool Quitting() const { return quit_.stop_requested(); }

  private:
    Transfer& inner_;
    std::stop_source quit_;
};

}  // namespace velmora
