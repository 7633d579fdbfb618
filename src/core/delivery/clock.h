#pragma once
// The request time: one clock reading per request, written twice: once for the
// signature and once, with the plus sign escaped, for the query.

#include <ctime>
#include <string>

namespace velmora {

// Source of "now"; tests hand in a fixed clock instead of waiting.
class Clock {
  public:
    virtual ~Clock() = default;
    virtual std::time_t Now() const = 0;
};

class SystemClock final : public Clock {
  public:
    std::time_t Now() const override;
};

struct RequestTime {
    std::string signingTime;  // local wall time + "+09:00", e.g. 2005-09-16T08:05:03+09:00
    std::string queryTime;    // the same + "%2B09:00", e.g. 2005-09-16T08:05:03%2B09:00
};

// Reads `clock` once and formats both texts from that reading. The offset is a
// fixed suffix: the service expects it whatever the machine's time zone is.
RequestTime ReadRequestTime(const Clock& clock);

}  // namespace velmora
