#include "common/utils.hpp"

#include <gtest/gtest.h>

#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;

TEST(FindBytes, FindsTheFirstOccurrenceAtOrAfterStart) {
    const Bytes hay{1, 2, 1, 2, 1, 2, 3};
    EXPECT_EQ(common::find_bytes(hay, Bytes{1, 2}, 0), 0u);
    EXPECT_EQ(common::find_bytes(hay, Bytes{1, 2}, 1), 2u);
    // overlapping a match an earlier call found
    EXPECT_EQ(common::find_bytes(hay, Bytes{1, 2, 1}, 1), 2u);
    // ends exactly at the last byte
    EXPECT_EQ(common::find_bytes(hay, Bytes{2, 3}, 0), 5u);
    EXPECT_EQ(common::find_bytes(hay, Bytes{3, 1}, 0), std::nullopt);
}

TEST(FindBytes, NeedleOrStartBeyondTheEndGivesNone) {
    const Bytes hay{1, 2, 3};
    EXPECT_EQ(common::find_bytes(hay, Bytes{1, 2, 3, 4}, 0), std::nullopt);
    EXPECT_EQ(common::find_bytes(hay, Bytes{2, 3}, 2), std::nullopt);
    EXPECT_EQ(common::find_bytes(hay, Bytes{}, 4), std::nullopt);
    EXPECT_EQ(common::find_bytes(Bytes{}, Bytes{1}, 0), std::nullopt);
}

TEST(FindBytes, EmptyNeedleGivesTheStartIndex) {
    const Bytes hay{1, 2, 3};
    EXPECT_EQ(common::find_bytes(hay, Bytes{}, 0), 0u);
    EXPECT_EQ(common::find_bytes(hay, Bytes{}, 3), 3u);
}

}  // namespace
