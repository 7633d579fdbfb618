#include <gtest/gtest.h>

#include <limits>

#include "core/delivery/clock.h"
#include "core/delivery/signing.h"
#include "request_time_zones.h"
#include "support/fixed_clock.h"

using namespace velmora;
using velmora::test_support::FixedClock;
using velmora::test_support::kSampleInstant;
using velmora::test_support::ScopedTimeZone;

namespace {

using velmora::test_support::RequestTimeInZone;
using velmora::test_support::ZoneCase;

TEST_P(RequestTimeInZone, ShowsLocalWallTimeWithTheFixedOffset) {
    ScopedTimeZone zone(GetParam().zone);
    FixedClock clock(kSampleInstant);
    const RequestTime time = ReadRequestTime(clock);
    EXPECT_EQ(clock.reads, 1);
    EXPECT_EQ(time.signingTime, std::string(GetParam().wallTime) + "+09:00");
    EXPECT_EQ(time.queryTime, std::string(GetParam().wallTime) + "%2B09:00");
    EXPECT_EQ(time.signingTime.size(), 25u);
    EXPECT_EQ(time.queryTime.size(), 27u);
}

INSTANTIATE_TEST_SUITE_P(Zones, RequestTimeInZone,
                         ::testing::Values(ZoneCase{"JST-9", "2005-09-16T08:05:03"},
                                           ZoneCase{"UTC0", "2005-09-15T23:05:03"},
                                           ZoneCase{"IST-5:30", "2005-09-16T04:35:03"},
                                           ZoneCase{"HST10", "2005-09-15T13:05:03"}));

TEST(RequestTime, PadsEveryFieldToTwoDigits) {
    ScopedTimeZone zone("UTC0");
    FixedClock clock(0);  // date -u -d @0
    EXPECT_EQ(ReadRequestTime(clock).signingTime, "1970-01-01T00:00:00+09:00");
    clock.Set(946782245);  // date -u -d '2000-01-02 03:04:05' +%s
    EXPECT_EQ(ReadRequestTime(clock).queryTime, "2000-01-02T03:04:05%2B09:00");
}

TEST(RequestTime, AReadingBeyondTheCalendarStillGivesWellFormedTexts) {
    ScopedTimeZone zone("UTC0");
    FixedClock clock(std::numeric_limits<std::time_t>::max());
    const RequestTime time = ReadRequestTime(clock);
    EXPECT_EQ(time.signingTime.size(), 25u);
    EXPECT_EQ(time.queryTime.size(), 27u);
}

TEST(RequestTime, SameSecondSameTokenNextSecondDifferent) {
    ScopedTimeZone zone("JST-9");
    FixedClock clock(kSampleInstant);
    const std::string first = ChannelToken("C123", "secret", ReadRequestTime(clock).signingTime);
    const std::string again = ChannelToken("C123", "secret", ReadRequestTime(clock).signingTime);
    clock.Set(kSampleInstant + 1);
    const std::string later = ChannelToken("C123", "secret", ReadRequestTime(clock).signingTime);
    EXPECT_EQ(first, again);
    EXPECT_NE(first, later);
    // Worked out with md5sum in signing_test.cpp.
    EXPECT_EQ(first, "da1c050f35fdb83f4d021271f0051503");
    EXPECT_EQ(later, "a4cd121ab64312aec49fd200749f3726");
}

TEST(RequestTime, SystemClockReadsNow) {
    const std::time_t before = std::time(nullptr);
    const std::time_t now = SystemClock().Now();
    EXPECT_GE(now, before);
    EXPECT_LE(now, std::time(nullptr));
}

}  // namespace
