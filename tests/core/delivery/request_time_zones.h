#pragma once
// The table of zones the request time is read in: one row per zone, the
// portable rows in request_time_test.cpp, those only the POSIX C library
// reads in request_time_posix_test.cpp.

#include <gtest/gtest.h>

namespace velmora::test_support {

struct ZoneCase {
    const char* zone;      // a TZ value
    const char* wallTime;  // local wall time of kSampleInstant in that zone
};

class RequestTimeInZone : public ::testing::TestWithParam<ZoneCase> {};

}  // namespace velmora::test_support
