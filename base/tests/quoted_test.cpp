#include "base/quoted.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

struct Case {
    std::string text;
    std::string quoted;

    friend void PrintTo(const Case& c, std::ostream* os) { *os << c.quoted; }
};

class Quoted : public testing::TestWithParam<Case> {};

TEST_P(Quoted, EscapesOnlyWhatWouldHide) { EXPECT_EQ(base::quoted(GetParam().text), GetParam().quoted); }

INSTANTIATE_TEST_SUITE_P(
    Cases, Quoted,
    testing::Values(
        Case{"", "\"\""}, Case{"abc", "\"abc\""}, Case{"it's a b", "\"it's a b\""},
        Case{std::string("a\0b", 3), "\"a\\0b\""}, Case{"\t\r\n", "\"\\t\\r\\n\""},
        Case{"a\\b\"c", "\"a\\\\b\\\"c\""}, Case{"\x01\x1b\x7f", "\"\\u{1}\\u{1b}\\u{7f}\""},  // Cc
        Case{"\xc2\x85", "\"\\u{85}\""},                                                       // Cc (NEL)
        Case{"a\xc2\xa0"
             "b",
             "\"a\\u{a0}b\""},                                       // Zs other than space
        Case{"\xe3\x80\x80", "\"\\u{3000}\""},                       // Zs ideographic space
        Case{"\xe2\x80\xa8\xe2\x80\xa9", "\"\\u{2028}\\u{2029}\""},  // Zl, Zp
        Case{"\xe2\x80\x8b\xef\xbb\xbf", "\"\\u{200b}\\u{feff}\""},  // Cf
        Case{"\xee\x80\x80", "\"\\u{e000}\""},                       // Co
        Case{"e\xcc\x81", "\"e\\u{301}\""},                          // Grapheme_Extend
        Case{"\xe2\x80\x8d", "\"\\u{200d}\""},                       // ZWJ: Cf and Grapheme_Extend
        Case{"K\xc3\xb6rv\xc3\xa9n \xe2\x82\xac \xef\xbf\xbd",
             "\"K\xc3\xb6rv\xc3\xa9n \xe2\x82\xac \xef\xbf\xbd\""}));  // printable non-ASCII as itself

TEST(Quoted, UnassignedCodePointIsEscaped) {
    // U+0378 has been unassigned in every Unicode version.
    EXPECT_EQ(base::quoted("\xcd\xb8"), "\"\\u{378}\"");
}

TEST(QuotedList, JoinsQuotedTextsWithCommaAndBlank) {
    const std::vector<std::string> texts{"a", "", "b\"c"};
    EXPECT_EQ(base::quoted_list(texts), "[\"a\", \"\", \"b\\\"c\"]");
    EXPECT_EQ(base::quoted_list(std::vector<std::string>{}), "[]");
}

}  // namespace
