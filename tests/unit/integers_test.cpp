// Script numbers to 32-bit integers.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "host.h"

namespace {

TEST(Integers, TruncateTowardZeroAndSaturate) {
    const double inf = std::numeric_limits<double>::infinity();
    const std::pair<double, int32_t> cases[] = {
        {1.9, 1},  {-0.5, 0},  {-1.9, -1}, {2147483647.0, INT32_MAX}, {2147483648.0, INT32_MAX},
        {-2147483648.0, INT32_MIN}, {-2147483648.9, INT32_MIN}, {-2147483649.0, INT32_MIN}, {1e300, INT32_MAX},
        {inf, INT32_MAX}, {-inf, INT32_MIN}, {std::nan(""), 0},
    };
    for (const auto &[value, want] : cases) EXPECT_EQ(host::TruncateToInt32(value), want) << value;
}

}  // namespace
