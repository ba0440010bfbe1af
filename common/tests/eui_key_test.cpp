#include <gtest/gtest.h>

#include <vector>

#include "common/eui.hpp"
#include "common/key.hpp"

namespace {

using common::AppKey;
using common::Eui;

const Eui kEui{{0x70, 0xb3, 0xd5, 0x7e, 0xd0, 0x00, 0x12, 0xab}};
const AppKey kKey{
    {0x0f, 0x3c, 0x9a, 0x6e, 0x2b, 0x7d, 0x14, 0x80, 0x5a, 0xc1, 0xe9, 0xf3, 0x6d, 0x2b, 0x70, 0x48}};

TEST(Eui, TextIsLowerCasePairsJoinedByHyphens) {
    EXPECT_EQ(kEui.to_string(), "70-b3-d5-7e-d0-00-12-ab");
    EXPECT_EQ(Eui::from_str(kEui.to_string()), kEui);
}

TEST(Eui, AcceptsPlainDigitsOfEitherCaseButOnlyHyphenSeparators) {
    EXPECT_EQ(Eui::from_str("70B3D57ED00012AB"), kEui);
    EXPECT_EQ(Eui::from_str("70b3d57ed00012ab"), kEui);
    for (const std::string text : {"70:b3:d5:7e:d0:00:12:ab", "70 b3 d5 7e d0 00 12 ab"}) {
        EXPECT_EQ(Eui::from_str(text).error().message, text + " has inconsistent padding");
    }
    EXPECT_EQ(Eui::from_str("70b3d57ed00012a").error().message, "70b3d57ed00012a is not of length 16");
}

TEST(AppKey, TextIsLowerCasePairsSeparatedByBlanks) {
    EXPECT_EQ(kKey.to_string(), "0f 3c 9a 6e 2b 7d 14 80 5a c1 e9 f3 6d 2b 70 48");
    EXPECT_EQ(AppKey::from_str(kKey.to_string()), kKey);
}

TEST(AppKey, AnyOneSeparatorThroughoutNoTrimming) {
    EXPECT_EQ(AppKey::from_str("0F3C9A6E2B7D14805AC1E9F36D2B7048"), kKey);
    EXPECT_EQ(AppKey::from_str("0f:3c:9a:6e:2b:7d:14:80:5a:c1:e9:f3:6d:2b:70:48"), kKey);
    EXPECT_EQ(AppKey::from_str("0f-3c-9a-6e-2b-7d-14-80-5a-c1-e9-f3-6d-2b-70-48"), kKey);
    const std::string mixed = "0f 3c:9a 6e 2b 7d 14 80 5a c1 e9 f3 6d 2b 70 48";
    EXPECT_EQ(AppKey::from_str(mixed).error().message, mixed + " has inconsistent padding");
    for (const std::string& text : std::vector<std::string>{" " + kKey.to_string(), kKey.to_string() + " ",
                                                            " " + kKey.to_string() + " "}) {
        EXPECT_EQ(AppKey::from_str(text).error().message, text + " is not of length 32");
    }
    EXPECT_EQ(AppKey::from_str("0f 3c 9a 6e 2b 7d 14 80 5a c1 e9 f3 6d 2b 70 4g").error().message,
              "Cannot parse 0f3c9a6e2b7d14805ac1e9f36d2b704g");
}

}  // namespace
