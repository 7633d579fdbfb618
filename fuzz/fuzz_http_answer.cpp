// Classification of HTTP answers: whatever a server sends, the result is one
// of the three fetch results, failures carry a known code, and the header
// block the transfer builds always starts with an HTTP/1.1 status line.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "core/delivery/curl_transfer.h"
#include "core/delivery/feed_fetcher.h"

namespace {

class NoTransfer final : public velmora::Transfer {
  public:
    velmora::TransferAnswer Get(const std::string&, std::uint32_t, std::stop_token) override {
        return {};
    }
};

void Check(bool condition) {
    if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using velmora::TransferAnswer;
    if (size < 3) return 0;
    const auto kind = static_cast<TransferAnswer::Kind>(data[0] % 3);
    const long status = 100 + (data[1] | (data[2] << 8)) % 900;
    const std::string bytes(reinterpret_cast<const char*>(data + 3), size - 3);

    NoTransfer transfer;
    velmora::ErrorState errors;
    velmora::FeedFetcher fetcher(transfer, errors, 0);

    TransferAnswer answer;
    answer.kind = kind;
    answer.status = status;
    answer.bytes =
        kind == TransferAnswer::Kind::HeaderBlock ? velmora::HeaderBlock(status, bytes) : bytes;
    if (kind == TransferAnswer::Kind::HeaderBlock) {
        Check(answer.bytes.rfind("HTTP/1.1 " + std::to_string(status) + " ", 0) == 0);
    }

    const velmora::FetchResult result = fetcher.ClassifyResponse(answer);
    Check(result == velmora::FetchResult::Ok || result == velmora::FetchResult::Redirected ||
          result == velmora::FetchResult::Failed);
    if (result == velmora::FetchResult::Failed) {
        const int code = errors.Code();
        Check(code == 58 || code == 401 || code == 404);
    } else {
        Check(errors.Code() == 0);
    }
    if (kind == TransferAnswer::Kind::Body)
        Check((result == velmora::FetchResult::Ok) == !bytes.empty());
    if (kind == TransferAnswer::Kind::HeaderBlock) {
        Check(result != velmora::FetchResult::Ok);
        Check((result == velmora::FetchResult::Redirected) == (status == 302));
    }

    // The raw header block itself, as a broken transfer might hand it over.
    answer.bytes = bytes;
    fetcher.ClassifyResponse(answer);

    const std::string encoded = velmora::EncodeUrlBytes(bytes);
    for (char c : encoded) {
        const auto byte = static_cast<unsigned char>(c);
        Check(byte > 0x20 && byte < 0x7F && c != '"' && c != ' ' && c != '#');
    }
    return 0;
}
