// Zones with a summer-time rule: the Windows C library reads only the names
// and offsets of TZ, applies rules of its own, and not again after a second
// _tzset in the same process.

#include "request_time_zones.h"

namespace velmora::test_support {
namespace {

INSTANTIATE_TEST_SUITE_P(SummerTime, RequestTimeInZone,
                         ::testing::Values(ZoneCase{"EST5EDT,M3.2.0,M11.1.0",
                                                    "2005-09-15T19:05:03"}));

}  // namespace
}  // namespace velmora::test_support
