#include "base/utf8.hpp"

#include <gtest/gtest.h>

#include <string>

namespace {

struct Case {
    std::string bytes;
    std::size_t valid_up_to;
    std::size_t error_len;  // 0: the text ends inside a sequence
    std::string lossy;

    friend void PrintTo(const Case& c, std::ostream* os) { *os << c.lossy; }
};

class Utf8 : public testing::TestWithParam<Case> {};

TEST_P(Utf8, FindsTheMaximalInvalidSubpart) {
    const Case& c = GetParam();
    const base::Utf8Check check = base::utf8_check(c.bytes);
    EXPECT_EQ(check.valid_up_to, c.valid_up_to);
    EXPECT_EQ(check.error_len, c.error_len);
    EXPECT_EQ(base::utf8_lossy(c.bytes), c.lossy);
}

const std::string R = "\xef\xbf\xbd";

INSTANTIATE_TEST_SUITE_P(Cases, Utf8,
                         testing::Values(Case{"", 0, 0, ""}, Case{"abc", 3, 0, "abc"},
                                         Case{"\xc3\xa9", 2, 0, "\xc3\xa9"},
                                         Case{"a\xff"
                                              "b",
                                              1, 1, "a" + R + "b"},
                                         Case{"a\x80", 1, 1, "a" + R},
                                         Case{"\xc0\xaf", 0, 1, R + R},  // overlong lead
                                         Case{"\xe2\x82"
                                              "x",
                                              0, 2, R + "x"},  // three-byte lead with one good byte
                                         Case{"\xe0\x80\x80", 0, 1, R + R + R},  // E0 needs A0..BF next
                                         Case{"\xed\xa0\x80", 0, 1, R + R + R},  // surrogate
                                         Case{"\xf0\x9f\x98"
                                              "a",
                                              0, 3, R + "a"},  // four-byte lead with two good bytes
                                         Case{"\xf4\x90\x80\x80", 0, 1, R + R + R + R},  // beyond U+10FFFF
                                         Case{"ab\xe2\x82", 2, 0, "ab" + R}));  // truncated at the end

}  // namespace
