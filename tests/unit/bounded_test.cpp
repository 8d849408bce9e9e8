// Bounded copy and append: what is written and what is reported.
#include <gtest/gtest.h>

#include <cstring>

#include "core/bounded.h"

namespace {

TEST(CopyBounded, SizeZeroWritesNothing) {
    char buffer[4] = {'x', 'x', 'x', 'x'};
    EXPECT_EQ(CopyBounded(buffer, 0, "abc"), 0);
    EXPECT_EQ(buffer[0], 'x');
}

TEST(CopyBounded, ExactFitIsWhole) {
    char buffer[4];
    EXPECT_EQ(CopyBounded(buffer, 4, "abc"), 1);
    EXPECT_STREQ(buffer, "abc");
}

TEST(CopyBounded, OneTooLongIsCut) {
    char buffer[4];
    EXPECT_EQ(CopyBounded(buffer, 4, "abcd"), 0);
    EXPECT_STREQ(buffer, "abc");
}

TEST(CopyBounded, SizeOneHoldsOnlyTheTerminator) {
    char buffer[1] = {'x'};
    EXPECT_EQ(CopyBounded(buffer, 1, ""), 1);
    EXPECT_EQ(CopyBounded(buffer, 1, "a"), 0);
    EXPECT_EQ(buffer[0], '\0');
}

TEST(AppendBounded, AppendsWhatFits) {
    char buffer[8] = "ab";
    EXPECT_EQ(AppendBounded(buffer, sizeof buffer, "cde"), 1);
    EXPECT_STREQ(buffer, "abcde");
    EXPECT_EQ(AppendBounded(buffer, sizeof buffer, "fgh"), 0);
    EXPECT_STREQ(buffer, "abcdefg");
}

TEST(AppendBounded, FullDestinationTakesOnlyEmptyText) {
    char buffer[4] = "abc";
    EXPECT_EQ(AppendBounded(buffer, sizeof buffer, ""), 1);
    EXPECT_EQ(AppendBounded(buffer, sizeof buffer, "d"), 0);
    EXPECT_STREQ(buffer, "abc");
}

TEST(AppendBounded, UnterminatedDestinationIsTerminatedAtItsEnd) {
    char buffer[4] = {'a', 'b', 'c', 'd'};
    EXPECT_EQ(AppendBounded(buffer, sizeof buffer, "e"), 0);
    EXPECT_STREQ(buffer, "abc");
    char other[4] = {'a', 'b', 'c', 'd'};
    EXPECT_EQ(AppendBounded(other, sizeof other, ""), 1);
    EXPECT_EQ(other[3], '\0');
}

TEST(AppendBounded, SizeZeroWritesNothing) {
    char buffer[2] = {'x', 'x'};
    EXPECT_EQ(AppendBounded(buffer, 0, ""), 0);
    EXPECT_EQ(buffer[0], 'x');
}

}  // namespace
