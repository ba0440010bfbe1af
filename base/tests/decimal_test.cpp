#include "base/decimal.hpp"

#include <gtest/gtest.h>

namespace {

using base::ParseIntError;
using Kind = ParseIntError::Kind;

struct Case {
    const char* text;
    std::optional<std::uint32_t> value;  // expected value, or nothing when it must fail
    Kind failure = Kind::Empty;

    friend void PrintTo(const Case& c, std::ostream* os) { *os << c.text; }
};

class ParseU8 : public testing::TestWithParam<Case> {};

TEST_P(ParseU8, ReadsOrFailsWithTheFirstFault) {
    const Case& c = GetParam();
    const auto result = base::parse_u8(c.text);
    if (c.value) {
        ASSERT_TRUE(result) << c.text;
        EXPECT_EQ(*result, *c.value);
    } else {
        ASSERT_FALSE(result) << c.text;
        EXPECT_EQ(result.error().kind, c.failure) << c.text;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ParseU8,
    testing::Values(Case{"0", 0}, Case{"7", 7}, Case{"007", 7}, Case{"+7", 7}, Case{"255", 255},
                    Case{"", {}, Kind::Empty}, Case{"+", {}, Kind::InvalidDigit},
                    Case{"++7", {}, Kind::InvalidDigit}, Case{"-7", {}, Kind::InvalidDigit},
                    Case{"-0", {}, Kind::InvalidDigit}, Case{" 7", {}, Kind::InvalidDigit},
                    Case{"7 ", {}, Kind::InvalidDigit}, Case{"7\n", {}, Kind::InvalidDigit},
                    Case{"1a", {}, Kind::InvalidDigit}, Case{"\xc2\xb2", {}, Kind::InvalidDigit},
                    Case{"256", {}, Kind::PosOverflow}, Case{"99999", {}, Kind::PosOverflow},
                    // read from the left: the overflow comes before the bad digit
                    Case{"2560x", {}, Kind::PosOverflow}, Case{"25x0000", {}, Kind::InvalidDigit}));

TEST(ParseUnsigned, EachWidthStopsAtItsOwnMaximum) {
    EXPECT_EQ(base::parse_u16("65535"), 65535);
    EXPECT_EQ(base::parse_u16("65536").error().kind, Kind::PosOverflow);
    EXPECT_EQ(base::parse_u32("4294967295"), 4294967295u);
    EXPECT_EQ(base::parse_u32("4294967296").error().kind, Kind::PosOverflow);
    EXPECT_EQ(base::parse_u32("0000000000004294967295"), 4294967295u);
}

TEST(ParseIntError, HasTheDisplayAndDebugTextsOfEachKind) {
    EXPECT_EQ(ParseIntError{Kind::Empty}.to_string(), "cannot parse integer from empty string");
    EXPECT_EQ(ParseIntError{Kind::InvalidDigit}.to_string(), "invalid digit found in string");
    EXPECT_EQ(ParseIntError{Kind::PosOverflow}.to_string(), "number too large to fit in target type");
    EXPECT_EQ(ParseIntError{Kind::Empty}.debug_string(), "ParseIntError { kind: Empty }");
    EXPECT_EQ(ParseIntError{Kind::InvalidDigit}.debug_string(), "ParseIntError { kind: InvalidDigit }");
    EXPECT_EQ(ParseIntError{Kind::PosOverflow}.debug_string(), "ParseIntError { kind: PosOverflow }");
}

}  // namespace
