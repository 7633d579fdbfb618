#include "core/delivery/quittable_transfer.h"

#include <algorithm>
#include <utility>

#include "core/delivery/stop_relay.h"

namespace velmora {

TransferAnswer QuittableTransfer::Get(const std::string& address, std::uint32_t timeoutSeconds,
                                      std::stop_token stop) {
    std::stop_source local;
    {
        std::lock_guard lock(mutex_);
        if (quitting_.load() || stop.stop_requested()) {
            TransferAnswer answer;
            answer.failure = "cancelled";
            return answer;
        }
        running_.push_back(&local);
    }
    struct Leave {
        QuittableTransfer& self;
        std::stop_source* local;
        ~Leave() {
            std::lock_guard lock(self.mutex_);
            self.running_.erase(std::find(self.running_.begin(), self.running_.end(), local));
        }
    } leave{*this, &local};
    const StopRelay forward(std::move(stop), local);
    return inner_.Get(address, timeoutSeconds, local.get_token());
}

void QuittableTransfer::Quit() {
    std::lock_guard lock(mutex_);
    quitting_.store(true);
    for (std::stop_source* source : running_) source->request_stop();
}

}  // namespace velmora
