#include "common/release.hpp"

#include <gtest/gtest.h>

#include <set>

namespace {

using common::Article;
using common::ArticleRevision;
using common::Revision;

Article at(std::size_t index) { return static_cast<Article>(index); }

TEST(ArticleJoinEui, GroupsShareOneValueAndTheTwelveGroupsDiffer) {
    const std::vector<std::vector<std::size_t>> groups{{0, 1, 2},    {3, 4, 5},    {6, 7, 8}, {9, 10, 11},
                                                       {12, 13, 14}, {15, 16, 17}, {18},      {19},
                                                       {20, 22},     {21},         {23, 24},  {25, 26}};
    std::set<std::array<std::uint8_t, 8>> values;
    for (const auto& group : groups) {
        const auto first = common::article_join_eui(at(group.front()));
        ASSERT_TRUE(first) << group.front();
        for (const std::size_t index : group) EXPECT_EQ(common::article_join_eui(at(index)), first) << index;
        values.insert(first->bytes);
    }
    EXPECT_EQ(values.size(), 12u);
}

TEST(ArticleJoinEui, ArticlesOutsideTheGroupsAreRefused) {
    for (std::size_t index = 27; index <= 32; ++index) {
        const auto result = common::article_join_eui(at(index));
        ASSERT_FALSE(result) << index;
        EXPECT_EQ(result.error(), (base::Error{base::ErrorKind::InvalidInput, "Unsupported Revision"}));
    }
}

TEST(FirmwareReleaseFor, EveryArticleAtEveryRevision) {
    for (std::size_t index = 0; index < common::ARTICLE_COUNT; ++index) {
        std::optional<Revision> required;
        std::string_view release;
        if (index <= 17) required = Revision{2, 12}, release = "2024.09.03.00";
        if (index == 19) required = Revision{1, 0}, release = "2024.06.21.00";
        if (index >= 20 && index <= 22) required = Revision{1, 2}, release = "2024.01.29.00";
        if (index >= 23 && index <= 26) required = Revision{1, 2}, release = "2025.01.10.00";
        for (std::uint8_t major = 0; major < 16; ++major) {
            for (std::uint8_t minor = 0; minor < 16; ++minor) {
                const ArticleRevision target{at(index), Revision{major, minor}};
                const auto result = common::firmware_release_for(target);
                if (required == target.revision) {
                    EXPECT_EQ(result, release) << target.to_string();
                } else {
                    ASSERT_FALSE(result) << target.to_string();
                    EXPECT_EQ(result.error(),
                              (base::Error{base::ErrorKind::Unsupported,
                                           std::string(common::to_string(at(index))) + " does not support " +
                                               target.revision.to_string()}));
                }
            }
        }
    }
}

TEST(FirmwareReleaseFor, TheBuildTargetAndItsNeighbours) {
    EXPECT_EQ(common::firmware_release_for(*common::parse_article_revision("QZT410HoNO35-TB-P-2.C")),
              "2024.09.03.00");
    EXPECT_EQ(common::firmware_release_for({at(6), Revision{2, 11}}).error().message,
              "QZT410HoNO35-TB-P does not support 2.b");
    EXPECT_EQ(common::firmware_release_for({at(24), Revision{2, 12}}).error().message,
              "QZTWQ2iNO-44 does not support 2.c");
    EXPECT_EQ(common::firmware_release_for({at(19), Revision{1, 2}}).error().message,
              "QZT-KX-PoNO-TB does not support 1.2");
}

}  // namespace
