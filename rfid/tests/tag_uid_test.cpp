#include "rfid/tag_uid.hpp"

#include <gtest/gtest.h>

namespace {

TEST(TagUid, TextIsSevenUpperCasePairsJoinedByColons) {
    const rfid::TagUid tag{{0x04, 0x0a, 0xff, 0x00, 0x10, 0xab, 0x5c}};
    EXPECT_EQ(tag.to_string(), "04:0A:FF:00:10:AB:5C");
}

TEST(TagUid, TextFormParsesBackToTheSameBytes) {
    for (int seed = 0; seed < 256; seed += 17) {
        rfid::TagUid tag;
        for (std::size_t i = 0; i < tag.bytes.size(); ++i)
            tag.bytes[i] = static_cast<std::uint8_t>(seed * 7 + i * 31);
        const std::string text = tag.to_string();
        ASSERT_EQ(text.size(), 20u);
        EXPECT_EQ(rfid::TagUid::from_str(text), tag) << text;
    }
}

TEST(TagUid, FromStrPassesTheCodecErrorOn) {
    const auto result = rfid::TagUid::from_str("04:A1:B2");
    ASSERT_FALSE(result);
    EXPECT_EQ(result.error(), (base::Error{base::ErrorKind::InvalidInput, "04:A1:B2 is not of length 14"}));
}

}  // namespace
