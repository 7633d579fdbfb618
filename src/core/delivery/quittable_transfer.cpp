#include "core/delivery/quittable_transfer.h"

namespace velmora {

TransferAnswer QuittableTransfer::Get(const std::string& address, std::uint32_t timeoutSeconds,
                                      std::stop_token stop) {
    std::stop_source local;
    // Both callbacks fire at once when their source has already stopped.
    std::stop_callback onQuit(quit_.get_token(), [&local] { local.request_stop(); });
    std::stop_callback onCaller(stop, [&local] { local.request_stop(); });
    if (local.stop_requested()) {
        TransferAnswer answer;
        answer.failure = "cancelled";
        return answer;
    }
    return inner_.Get(address, timeoutSeconds, local.get_token());
}

}  // namespace velmora
