#include "rfid/hex.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;

struct Case {
    std::string text;
    std::size_t n;
    std::optional<char32_t> separator;
    Bytes bytes = {};  // expected bytes when `error` is empty
    std::string error = {};

    friend void PrintTo(const Case& c, std::ostream* os) { *os << c.text; }
};

class ParseHexBytes : public testing::TestWithParam<Case> {};

TEST_P(ParseHexBytes, GivesTheBytesOrTheFirstFailingCheck) {
    const Case& c = GetParam();
    const auto result = rfid::parse_hex_bytes(c.text, c.n, c.separator);
    if (c.error.empty()) {
        ASSERT_TRUE(result) << c.text << ": " << result.error().message;
        EXPECT_EQ(*result, c.bytes);
    } else {
        ASSERT_FALSE(result) << c.text;
        EXPECT_EQ(result.error().kind, base::ErrorKind::InvalidInput);
        EXPECT_EQ(result.error().message, c.error);
    }
}

const Bytes kTag{0x04, 0xA1, 0xB2, 0xC3, 0xD4, 0xE5, 0xF6};
const Bytes kEui{0x70, 0xb3, 0xd5, 0x7e, 0xd0, 0x00, 0x12, 0xab};

INSTANTIATE_TEST_SUITE_P(
    Tags, ParseHexBytes,
    testing::Values(
        Case{"04A1B2C3D4E5F6", 7, {}, kTag}, Case{"04a1b2c3d4e5f6", 7, {}, kTag},
        Case{"04a1B2c3D4e5F6", 7, {}, kTag}, Case{"04:A1:B2:C3:D4:E5:F6", 7, {}, kTag},
        Case{"04-A1-B2-C3-D4-E5-F6", 7, {}, kTag}, Case{"04 A1 B2 C3 D4 E5 F6", 7, {}, kTag},
        // any character can be the separator, a digit included
        Case{"77777777777777777777", 7, {}, Bytes(7, 0x77)},
        Case{"04:A1-B2:C3:D4:E5:F6", 7, {}, {}, "04:A1-B2:C3:D4:E5:F6 has inconsistent padding"},
        // padding is checked before the digits
        Case{"0G:A1-B2:C3:D4:E5:F6", 7, {}, {}, "0G:A1-B2:C3:D4:E5:F6 has inconsistent padding"},
        Case{"04:A1:B2:C3:D4:E5:FZ", 7, {}, {}, "Cannot parse 04A1B2C3D4E5FZ"},
        Case{"04:A1:B2:C3:D4:E5:F", 7, {}, {}, "04:A1:B2:C3:D4:E5:F is not of length 14"},
        Case{"04:A1:B2:C3:D4:E5:F6:", 7, {}, {}, "04:A1:B2:C3:D4:E5:F6: is not of length 14"},
        Case{"", 7, {}, {}, " is not of length 14"},
        Case{"+4A1B2C3D4E5F6", 7, {}, {0x04, 0xA1, 0xB2, 0xC3, 0xD4, 0xE5, 0xF6}},
        Case{"+4:+1:+2:+3:+4:+5:+6", 7, {}, {4, 1, 2, 3, 4, 5, 6}},
        Case{"-4A1B2C3D4E5F6", 7, {}, {}, "Cannot parse -4A1B2C3D4E5F6"},
        Case{" 4A1B2C3D4E5F6", 7, {}, {}, "Cannot parse  4A1B2C3D4E5F6"},
        Case{"4+A1B2C3D4E5F6", 7, {}, {}, "Cannot parse 4+A1B2C3D4E5F6"},
        // right byte length, a character outside ASCII anywhere: the whole text is quoted
        Case{"04A1B2C3D4E5\xc3\xa9", 7, {}, {}, "Cannot parse 04A1B2C3D4E5\xc3\xa9"},
        Case{"\xc3\xa9"
             "A1B2C3D4E5F6",
             7,
             {},
             {},
             "Cannot parse \xc3\xa9"
             "A1B2C3D4E5F6"},
        // 20 bytes with a two-byte character: walked by characters, it shifts the separator places
        Case{
            "\xc3\xa9:A1:B2:C3:D4:E5:F6", 7, {}, {}, "\xc3\xa9:A1:B2:C3:D4:E5:F6 has inconsistent padding"}));

INSTANTIATE_TEST_SUITE_P(
    Euis, ParseHexBytes,
    testing::Values(
        Case{"70-b3-d5-7e-d0-00-12-ab", 8, U'-', kEui}, Case{"70B3D57ED00012AB", 8, U'-', kEui},
        Case{"70:b3:d5:7e:d0:00:12:ab", 8, U'-', {}, "70:b3:d5:7e:d0:00:12:ab has inconsistent padding"},
        Case{"70 b3 d5 7e d0 00 12 ab", 8, U'-', {}, "70 b3 d5 7e d0 00 12 ab has inconsistent padding"},
        Case{"70-b3-d5-7e-d0-00-12-a", 8, U'-', {}, "70-b3-d5-7e-d0-00-12-a is not of length 16"}));

TEST(ParseHexDigits, QuotesTheTextItWasGiven) {
    EXPECT_EQ(rfid::parse_hex_digits("abc", 2).error().message, "abc is not of length 4");
    EXPECT_EQ(rfid::parse_hex_digits("zz00", 2).error().message, "Cannot parse zz00");
    EXPECT_EQ(rfid::parse_hex_digits("0aF0", 2), (Bytes{0x0a, 0xf0}));
}

}  // namespace
