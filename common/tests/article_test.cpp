#include "common/article.hpp"

#include <gtest/gtest.h>

#include <string>

namespace {

using common::AdapterVariant;
using common::Article;
using common::DeviceKind;
using common::Revision;

Article at(std::size_t index) { return static_cast<Article>(index); }

const std::string kNotRecognised = " is not a recognised article";
const std::string kFormat = "Revision should be of the format `major.minor`, got ";

TEST(Article, EveryCatalogueTextParsesToItsOwnArticleWithoutRevision) {
    for (std::size_t i = 0; i < common::ARTICLE_COUNT; ++i) {
        const std::string_view text = common::to_string(at(i));
        const auto parsed = common::parse_article(text);
        ASSERT_TRUE(parsed) << text;
        EXPECT_EQ(common::index_of(parsed->article), i) << text;
        EXPECT_FALSE(parsed->revision) << text;
    }
}

TEST(Article, CatalogueTextsKindsAndVariants) {
    struct Row {
        std::size_t index;
        std::string_view text;
        DeviceKind kind;
        AdapterVariant variant;
    };
    const Row rows[] = {
        {0, "QZT410HaNO35-TB-P", DeviceKind::Valve, AdapterVariant::None},
        {6, "QZT410HoNO35-TB-P", DeviceKind::Valve, AdapterVariant::None},
        {7, "QZT410HoNO35-TB-P-KD1N", DeviceKind::Valve, AdapterVariant::Kd1n},
        {8, "QZT410HoNO35-TB-P-KD2M", DeviceKind::Valve, AdapterVariant::Kd2m},
        {17, "QZT410LuWE35-44-KD2M", DeviceKind::Valve, AdapterVariant::Kd2m},
        {18, "QZT410LuSO35-44", DeviceKind::Valve, AdapterVariant::None},
        {19, "QZT-KX-PoNO-TB", DeviceKind::KX, AdapterVariant::None},
        {20, "QZTJRX1iNO-44", DeviceKind::JRX, AdapterVariant::None},
        {22, "QZTJRX2iNO-44", DeviceKind::JRX, AdapterVariant::None},
        {23, "QZTWQ1iNO-44", DeviceKind::WQ, AdapterVariant::None},
        {26, "QZTWQ2iWE-44", DeviceKind::WQ, AdapterVariant::None},
        {27, "QZT410HaNO35-44", DeviceKind::Valve, AdapterVariant::None},
        {28, "QZT410H?NO35-44", DeviceKind::Valve, AdapterVariant::None},
        {32, "QZT410HoNO35-TB", DeviceKind::Valve, AdapterVariant::None},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(common::to_string(at(row.index)), row.text);
        EXPECT_EQ(common::device_kind(at(row.index)), row.kind) << row.text;
        EXPECT_EQ(common::adapter_variant_of(at(row.index)), row.variant) << row.text;
    }
    // Kinds by index range, and only the six base articles' twins carry a suffix.
    for (std::size_t i = 0; i < common::ARTICLE_COUNT; ++i) {
        const DeviceKind expected = i == 19                ? DeviceKind::KX
                                    : (i >= 20 && i <= 22) ? DeviceKind::JRX
                                    : (i >= 23 && i <= 26) ? DeviceKind::WQ
                                                           : DeviceKind::Valve;
        EXPECT_EQ(common::device_kind(at(i)), expected) << i;
        const bool twin = i < 18 && i % 3 != 0;
        EXPECT_EQ(common::adapter_variant_of(at(i)) != AdapterVariant::None, twin) << i;
    }
}

struct ParseCase {
    std::string text;
    std::optional<std::size_t> index;  // nothing: must fail with `error`
    std::optional<Revision> revision = {};
    std::string error = {};

    friend void PrintTo(const ParseCase& c, std::ostream* os) { *os << c.text; }
};

class ParseArticle : public testing::TestWithParam<ParseCase> {};

TEST_P(ParseArticle, SplitsOnlyAWellFormedRevisionAfterTheLastDash) {
    const ParseCase& c = GetParam();
    const auto parsed = common::parse_article(c.text);
    if (c.index) {
        ASSERT_TRUE(parsed) << c.text << ": " << parsed.error().message;
        EXPECT_EQ(common::index_of(parsed->article), *c.index);
        EXPECT_EQ(parsed->revision, c.revision);
    } else {
        ASSERT_FALSE(parsed) << c.text;
        EXPECT_EQ(parsed.error(), (base::Error{base::ErrorKind::InvalidInput, c.error}));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ParseArticle,
    testing::Values(ParseCase{"QZT410HoNO35-TB-P-2.c", 6, Revision{2, 12}},
                    ParseCase{"QZT410HoNO35-TB-P-2.C", 6, Revision{2, 12}},
                    ParseCase{"QZT410HoNO35-TB-P-KD1N-1.0", 7, Revision{1, 0}},
                    ParseCase{"QZT-KX-PoNO-TB", 19, {}}, ParseCase{"QZTWQ1iNO-44", 23, {}},
                    ParseCase{"QZT410H?NO35-44-A.f", 28, Revision{10, 15}},
                    ParseCase{"QZT410HoNO35-TB-P-2.cc", {}, {}, "QZT410HoNO35-TB-P-2.cc" + kNotRecognised},
                    ParseCase{"QZT410HoNO35-TB-P-g.1", {}, {}, "QZT410HoNO35-TB-P-g.1" + kNotRecognised},
                    ParseCase{"QZT410HoNO35-TB-P-2-c", {}, {}, "QZT410HoNO35-TB-P-2-c" + kNotRecognised},
                    ParseCase{"qzt410hono35-tb-p", {}, {}, "qzt410hono35-tb-p" + kNotRecognised},
                    ParseCase{" QZT410HoNO35-TB-P", {}, {}, " QZT410HoNO35-TB-P" + kNotRecognised},
                    ParseCase{"QZT410HoNO35-TB-P ", {}, {}, "QZT410HoNO35-TB-P " + kNotRecognised},
                    ParseCase{"QZT410XX-2.c", {}, {}, "QZT410XX-2.c" + kNotRecognised},
                    ParseCase{"QZT410HoNO35-TB-P-", {}, {}, "QZT410HoNO35-TB-P-" + kNotRecognised},
                    ParseCase{"", {}, {}, kNotRecognised}));

TEST(ArticleRevision, TextFormParsesBackForEveryArticle) {
    for (std::size_t i = 0; i < common::ARTICLE_COUNT; ++i) {
        const common::ArticleRevision value{at(i), Revision{static_cast<std::uint8_t>(i % 16), 12}};
        EXPECT_EQ(common::parse_article_revision(value.to_string()), value) << value.to_string();
    }
    EXPECT_EQ((common::ArticleRevision{at(6), Revision{2, 12}}.to_string()), "QZT410HoNO35-TB-P-2.c");
}

TEST(ArticleRevision, TextWithoutRevisionIsRefused) {
    EXPECT_EQ(common::parse_article_revision("QZT410HoNO35-TB-P").error().message, "Expected a Revision");
    EXPECT_EQ(common::parse_article_revision("nope-2.c").error().message, "nope-2.c" + kNotRecognised);
}

struct RevisionCase {
    std::string text;
    std::optional<Revision> revision;
    std::string error = {};

    friend void PrintTo(const RevisionCase& c, std::ostream* os) { *os << c.text; }
};

class ParseRevision : public testing::TestWithParam<RevisionCase> {};

TEST_P(ParseRevision, ReadsOneHexDigitEachSide) {
    const RevisionCase& c = GetParam();
    const auto parsed = common::parse_revision(c.text);
    if (c.revision) {
        EXPECT_EQ(parsed, *c.revision) << c.text;
    } else {
        ASSERT_FALSE(parsed) << c.text;
        EXPECT_EQ(parsed.error(), (base::Error{base::ErrorKind::InvalidInput, c.error}));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ParseRevision,
    testing::Values(RevisionCase{"2.c", Revision{2, 12}}, RevisionCase{"A.F", Revision{10, 15}},
                    RevisionCase{"0.0", Revision{0, 0}}, RevisionCase{"2-c", {}, kFormat + "2-c"},
                    RevisionCase{"12.c", {}, kFormat + "12.c"}, RevisionCase{"2.c ", {}, kFormat + "2.c "},
                    RevisionCase{"", {}, kFormat},
                    RevisionCase{"2.g", {}, "Revision contains unexpected character"},
                    RevisionCase{"\xc3\xa9.1", {}, "Revision contains unexpected character"}));

TEST(Revision, TextIsLowerCase) {
    EXPECT_EQ((Revision{2, 12}.to_string()), "2.c");
    EXPECT_EQ((Revision{1, 0}.to_string()), "1.0");
    EXPECT_EQ(common::parse_revision("2.C")->to_string(), "2.c");
}

TEST(WithAdapterVariant, MovesBaseArticlesAmongTheirTwins) {
    struct Case {
        std::size_t from;
        AdapterVariant wanted;
        std::size_t to;
    };
    const Case cases[] = {{6, AdapterVariant::Kd1n, 7},   {8, AdapterVariant::Kd1n, 7},
                          {7, AdapterVariant::None, 6},   {6, AdapterVariant::None, 6},
                          {7, AdapterVariant::Kd1n, 7},   {7, AdapterVariant::Kd2m, 8},
                          {19, AdapterVariant::None, 19}, {15, AdapterVariant::Kd2m, 17}};
    for (const Case& c : cases) {
        Article article = at(c.from);
        ASSERT_TRUE(common::with_adapter_variant(article, c.wanted)) << c.from;
        EXPECT_EQ(common::index_of(article), c.to) << c.from;
    }
}

TEST(WithAdapterVariant, SuffixOnAnArticleWithoutTwinsFailsAndLeavesItUnchanged) {
    Article article = at(18);
    auto result = common::with_adapter_variant(article, AdapterVariant::Kd1n);
    ASSERT_FALSE(result);
    EXPECT_EQ(result.error(),
              (base::Error{base::ErrorKind::InvalidInput, "QZT410LuSO35-44-KD1N" + kNotRecognised}));
    EXPECT_EQ(common::index_of(article), 18u);

    article = at(19);
    result = common::with_adapter_variant(article, AdapterVariant::Kd2m);
    ASSERT_FALSE(result);
    EXPECT_EQ(result.error().message, "QZT-KX-PoNO-TB-KD2M" + kNotRecognised);
    EXPECT_EQ(common::index_of(article), 19u);
}

}  // namespace
