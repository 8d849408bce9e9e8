// Script numbers to 32-bit integers and back.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "host.h"
#include "test_host.h"

namespace {

TEST(Integers, TruncateTowardZeroAndSaturate) {
    const double inf = std::numeric_limits<double>::infinity();
    const std::pair<double, int32_t> cases[] = {
        {1.9, 1},  {-0.5, 0},  {-1.9, -1}, {2147483647.0, INT32_MAX}, {2147483648.0, INT32_MAX},
        {-2147483648.0, INT32_MIN}, {-2147483648.9, INT32_MIN}, {-2147483649.0, INT32_MIN}, {1e300, INT32_MAX},
        {inf, INT32_MAX}, {-inf, INT32_MIN}, {std::nan(""), 0},
    };
    for (const auto &[value, want] : cases) EXPECT_EQ(host::TruncateToInt32(value), want) << value;
    testhost::Script script;
    script.args = {7.99, 4294967296.0};
    EXPECT_EQ(host::GetIntArg(script.state(), 1), 7);
    EXPECT_EQ(host::GetIntArg(script.state(), 2), INT32_MAX);
    host::PushInteger(script.state(), INT64_C(1) << 40);
    ASSERT_EQ(script.pushed.size(), 1u);
    EXPECT_EQ(script.pushed[0], 1099511627776.0);
}

}  // namespace
