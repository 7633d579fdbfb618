#pragma once
// A clock that reads what the test sets, and a guard that runs a test under a
// chosen time zone and restores the previous one afterwards.

#include <stdlib.h>
#include <time.h>

#include <optional>
#include <string>

#include "core/delivery/clock.h"
#include "support/scoped_env.h"

namespace velmora::test_support {

class FixedClock final : public Clock {
  public:
    explicit FixedClock(std::time_t now) : now_(now) {}
    std::time_t Now() const override {
        ++reads;
        return now_;
    }
    void Set(std::time_t now) { now_ = now; }
    mutable int reads = 0;

  private:
    std::time_t now_;
};

// 2005-09-15T23:05:03Z, i.e. 2005-09-16T08:05:03 in Japan (date -u -d '2005-09-15 23:05:03' +%s).
inline constexpr std::time_t kSampleInstant = 1126825503;

class ScopedTimeZone {
  public:
    explicit ScopedTimeZone(const char* zone) {
        if (const char* old = getenv("TZ")) saved_ = old;
        SetEnv("TZ", zone);
        Reload();
    }
    ~ScopedTimeZone() {
        if (saved_) {
            SetEnv("TZ", *saved_);
        } else {
            UnsetEnv("TZ");
        }
        Reload();
    }
    ScopedTimeZone(const ScopedTimeZone&) = delete;
    ScopedTimeZone& operator=(const ScopedTimeZone&) = delete;

  private:
    static void Reload() {
#ifdef _WIN32
        _tzset();
#else
        tzset();
#endif
    }

    std::optional<std::string> saved_;
};

}  // namespace velmora::test_support
