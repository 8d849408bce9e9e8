// Script numbers to 32-bit integers and back.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "host.h"
#include "test_host.h"

namespace {

TEST(TruncateToInt32, TruncatesTowardZero) {
    EXPECT_EQ(host::TruncateToInt32(1.9), 1);
    EXPECT_EQ(host::TruncateToInt32(-0.5), 0);
    EXPECT_EQ(host::TruncateToInt32(-1.9), -1);
}

TEST(TruncateToInt32, SaturatesAtTheLimits) {
    EXPECT_EQ(host::TruncateToInt32(2147483647.0), INT32_MAX);
    EXPECT_EQ(host::TruncateToInt32(2147483648.0), INT32_MAX);
    EXPECT_EQ(host::TruncateToInt32(-2147483648.0), INT32_MIN);
    EXPECT_EQ(host::TruncateToInt32(-2147483648.9), INT32_MIN);
    EXPECT_EQ(host::TruncateToInt32(-2147483649.0), INT32_MIN);
    EXPECT_EQ(host::TruncateToInt32(1e300), INT32_MAX);
}

TEST(TruncateToInt32, InfinitiesSaturateAndNaNIsZero) {
    EXPECT_EQ(host::TruncateToInt32(std::numeric_limits<double>::infinity()), INT32_MAX);
    EXPECT_EQ(host::TruncateToInt32(-std::numeric_limits<double>::infinity()), INT32_MIN);
    EXPECT_EQ(host::TruncateToInt32(std::nan("")), 0);
}

TEST(GetIntArg, ReadsTheArgumentTruncated) {
    testhost::Script script;
    script.args = {7.99, -3.5, 4294967296.0};
    EXPECT_EQ(host::GetIntArg(script.state(), 1), 7);
    EXPECT_EQ(host::GetIntArg(script.state(), 2), -3);
    EXPECT_EQ(host::GetIntArg(script.state(), 3), INT32_MAX);
}

TEST(PushInteger, PushesExactDoubles) {
    testhost::Script script;
    host::PushInteger(script.state(), INT64_C(1) << 40);
    host::PushInteger(script.state(), -1);
    ASSERT_EQ(script.pushed.size(), 2u);
    EXPECT_EQ(script.pushed[0], 1099511627776.0);
    EXPECT_EQ(script.pushed[1], -1.0);
}

}  // namespace
