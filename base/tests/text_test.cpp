#include "base/text.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

struct SplitCase {
    const char* name;
    std::string text;
    char separator;
    std::vector<std::string> pieces;

    friend void PrintTo(const SplitCase& c, std::ostream* os) { *os << c.name; }
};

class Split : public testing::TestWithParam<SplitCase> {};

TEST_P(Split, KeepsEveryPieceBetweenSeparatorsEmptyOnesIncluded) {
    const SplitCase& c = GetParam();
    std::vector<std::string> pieces;
    for (const std::string_view piece : base::split(c.text, c.separator)) pieces.emplace_back(piece);
    EXPECT_EQ(pieces, c.pieces);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Split,
    testing::Values(SplitCase{"EmptyText_OneEmptyPiece", "", ';', {""}},
                    SplitCase{"NoSeparator_TheWholeText", "abc", ';', {"abc"}},
                    SplitCase{"SeparatorsAtBothEnds_EmptyPiecesThere", ";a;", ';', {"", "a", ""}},
                    SplitCase{"OnlySeparators_OneMorePieceThanSeparators", ";;", ';', {"", "", ""}},
                    SplitCase{"ReaderList_TwoNamesAndTwoEmptyPieces",
                              std::string("A\0B\0\0", 5),
                              '\0',
                              {"A", "B", "", ""}},
                    SplitCase{"OtherSeparatorsStayInThePieces", "a,b;c", ';', {"a,b", "c"}}),
    [](const testing::TestParamInfo<SplitCase>& info) { return std::string(info.param.name); });

}  // namespace
