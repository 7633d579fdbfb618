#pragma once
// One GET of one request address, as the fetch sees it: a body for a 2xx
// answer, the header block for any other status, or a transport failure. The
// fetch depends only on this seam; CurlTransfer is the real one, tests answer
// from a table.

#include <cstddef>
#include <cstdint>
#include <stop_token>
#include <string>

namespace velmora {

struct TransferAnswer {
    enum class Kind {
        Body,         // status 200..299: `bytes` is the body
        HeaderBlock,  // any other status: "HTTP/1.1 <code> <reason>\r\n" + header lines
        Failed,       // refused, unresolvable, reset, timed out, too long, cancelled
    };
    Kind kind = Kind::Failed;
    std::string bytes;
    long status = 0;      // HTTP status; 0 when Failed
    std::string failure;  // why a Failed transfer failed (for diagnostics only)
};

// Answers longer than this are failed attempts.
inline constexpr std::size_t kMaxAnswerBytes = 8u * 1024u * 1024u;

class Transfer {
  public:
    virtual ~Transfer() = default;
    // Blocks until the answer is complete, the time limit passes or `stop` is
    // requested. `timeoutSeconds` N > 0 is the only limit; with 0 the transfer
    // still ends a dead or trickling exchange within bounds of its own.
    // Never throws for network trouble.
    virtual TransferAnswer Get(const std::string& address, std::uint32_t timeoutSeconds,
                               std::stop_token stop = {}) = 0;
};

}  // namespace velmora
