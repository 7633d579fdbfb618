#pragma once
// The real transfer on libcurl: one GET, no redirect followed, HTTP/1.1, proxies
// from the environment, certificates checked for https, answers capped.

#include <cstdint>
#include <string>
#include <string_view>

#include "core/delivery/transfer.h"

namespace velmora {

// Limits that end a transfer from a dead or trickling server when the
// `timeout` setting is 0. A timeout N > 0 replaces all of them: the transfer
// then gets N seconds in total, however slowly the answer comes.
struct TransferLimits {
    std::uint32_t connectSeconds = 30;
    // Below `lowSpeedBytesPerSecond` for `lowSpeedSeconds` in a row: given up.
    std::uint32_t lowSpeedBytesPerSecond = 64;
    std::uint32_t lowSpeedSeconds = 60;
    std::uint32_t overallSeconds = 300;
    std::size_t maxAnswerBytes = kMaxAnswerBytes;
};

class CurlTransfer final : public Transfer {
  public:
    explicit CurlTransfer(TransferLimits limits = {});

    TransferAnswer Get(const std::string& address, std::uint32_t timeoutSeconds,
                       std::stop_token stop = {}) override;

  private:
    TransferLimits limits_;
};

// `address` with every byte that may not stand in a URL or would change its
// meaning (control bytes, space, '"', '#', '<', '>', '\\', '^', '`', '{', '|',
// '}', DEL and bytes above 0x7F) written as %XX, byte by byte. Everything else,
// '%' and '?' included, is kept.
std::string EncodeUrlBytes(std::string_view address);

// The header block of a non-2xx answer from the raw header lines of the final
// response: the status line rewritten as "HTTP/1.1 <code> <reason>", then the
// other lines unchanged.
std::string HeaderBlock(long status, std::string_view rawHeaders);

}  // namespace velmora
