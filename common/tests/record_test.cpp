#include "common/record.hpp"

#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

#include "base/quoted.hpp"
#include "common_tests/known_devices.hpp"

namespace {

using base::ErrorKind;
using common::DeviceKind;
using common::TestStatus;

const std::string kLine(common_tests::KNOWN_DEVICES[0].line);

std::vector<std::string> columns_of(std::string_view line) {
    std::vector<std::string> out;
    for (const std::string_view column : common::split_columns(line)) out.emplace_back(column);
    return out;
}

std::string joined(const std::vector<std::string>& columns) {
    std::string out;
    for (std::size_t i = 0; i < columns.size(); ++i) out += (i == 0 ? "" : ";") + columns[i];
    return out;
}

// The valid table line with one column replaced.
std::string with_column(std::size_t index, std::string_view text) {
    std::vector<std::string> columns = columns_of(kLine);
    columns.at(index) = std::string(text);
    return joined(columns);
}

// The valid table line cut to its first `count` columns.
std::string first_columns(std::size_t count) {
    std::vector<std::string> columns = columns_of(kLine);
    columns.resize(count);
    return joined(columns);
}

std::string missing_column(std::size_t index, const std::string& line) {
    const std::vector<std::string> columns = columns_of(line);
    return "Cannot access " + std::to_string(index) + " in\n" + base::quoted_list(columns);
}

TEST(CredentialRecord, TableLineParsesWithTestsAndDeliveryAndIsWrittenBackUnchanged) {
    const auto record = common::parse_valve_record(kLine);
    ASSERT_TRUE(record) << record.error().message;
    ASSERT_TRUE(record->tests);
    ASSERT_TRUE(record->delivery);
    EXPECT_EQ(record->head.device.tag_uid.to_string(), "04:A1:7C:2B:5D:80:01");
    EXPECT_EQ(record->head.article, common::Article::QZT410HoNO35_TB_P);
    EXPECT_EQ(record->head.operator_code, common::OperatorCode::XA);
    EXPECT_EQ(record->tests->operator_code, common::OperatorCode::Unknown);
    EXPECT_EQ(record->delivery->ls_number.value, 41234u);
    EXPECT_EQ(record->delivery->box_number.value, 7u);
    EXPECT_EQ(record->delivery->customer, common::Customer::other("KORVEN GmbH"));
    EXPECT_EQ(record->to_string(), kLine);
}

TEST(CredentialRecord, BlocksArePresentByColumnCount) {
    const auto head_only = common::parse_valve_record(first_columns(10));
    ASSERT_TRUE(head_only) << head_only.error().message;
    EXPECT_FALSE(head_only->tests);
    EXPECT_FALSE(head_only->delivery);
    EXPECT_EQ(head_only->to_string(), first_columns(10));

    const auto with_tests = common::parse_valve_record(first_columns(15));
    ASSERT_TRUE(with_tests) << with_tests.error().message;
    EXPECT_TRUE(with_tests->tests);
    EXPECT_FALSE(with_tests->delivery);
    EXPECT_EQ(with_tests->to_string(), first_columns(15));
}

TEST(CredentialRecord, ColumnsAfterTheDeliveryBlockAreIgnoredAndNeverWritten) {
    const auto record = common::parse_valve_record(kLine + ";extra;;x;y");
    ASSERT_TRUE(record) << record.error().message;
    EXPECT_EQ(record->to_string(), kLine);
}

TEST(CredentialRecord, TheThreeKindParsersReadTheSameRecord) {
    const auto valve = common::parse_valve_record(kLine);
    const auto jrx = common::parse_jrx_record(kLine);
    const auto wq = common::parse_wq_record(kLine);
    ASSERT_TRUE(valve && jrx && wq);
    EXPECT_EQ(static_cast<const common::CredentialRecord&>(*valve),
              static_cast<const common::CredentialRecord&>(*jrx));
    EXPECT_EQ(static_cast<const common::CredentialRecord&>(*valve),
              static_cast<const common::CredentialRecord&>(*wq));
}

struct BadLine {
    std::string name;
    std::string line;
    ErrorKind kind;
    std::string message;

    friend void PrintTo(const BadLine& c, std::ostream* os) { *os << c.name; }
};

class BadLineTest : public testing::TestWithParam<BadLine> {};

TEST_P(BadLineTest, FailsWithTheColumnsError) {
    for (const auto parse : {+[](std::string_view l) { return common::parse_record(DeviceKind::Valve, l); },
                             +[](std::string_view l) { return common::parse_record(DeviceKind::JRX, l); },
                             +[](std::string_view l) { return common::parse_record(DeviceKind::WQ, l); }}) {
        const auto head = parse(GetParam().line);
        ASSERT_FALSE(head);
        EXPECT_EQ(head.error().kind, GetParam().kind);
        EXPECT_EQ(head.error().message, GetParam().message);
    }
}

base::Error error_of(const base::Result<rfid::TagUid>& r) { return r.error(); }
base::Error error_of(const base::Result<common::Eui>& r) { return r.error(); }
base::Error error_of(const base::Result<common::AppKey>& r) { return r.error(); }
base::Error error_of(const base::Result<common::ParsedArticle>& r) { return r.error(); }
base::Error error_of(const base::Result<common::Revision>& r) { return r.error(); }

BadLine passed_on(std::string name, std::size_t column, std::string text, const base::Error& error) {
    return {std::move(name), with_column(column, text), error.kind, error.message};
}

std::vector<BadLine> bad_lines() {
    const std::string ends_after_head = first_columns(10) + ";";
    const std::string twenty = first_columns(20);
    const std::string five = first_columns(5);
    return {
        {"EndsWithSemicolonAfterColumn9", ends_after_head, ErrorKind::NotFound,
         missing_column(11, ends_after_head)},
        {"TwentyColumns", twenty, ErrorKind::NotFound, missing_column(20, twenty)},
        {"FiveColumns", five, ErrorKind::NotFound, missing_column(5, five)},
        {"TwelveColumns", first_columns(12), ErrorKind::NotFound, missing_column(12, first_columns(12))},
        {"EarlierBadColumnBeatsMissingOne", first_columns(9) + ";xa", ErrorKind::InvalidInput,
         "Cannot match \"xa\""},
        passed_on("EmptyLine", 0, "", error_of(rfid::TagUid::from_str(""))),
        passed_on("BadTag", 0, "04:A1:7C:2B:5D:80", error_of(rfid::TagUid::from_str("04:A1:7C:2B:5D:80"))),
        passed_on("BadDevEui", 1, "4b-4f-52-00-00-00-00-0g",
                  error_of(common::Eui::from_str("4b-4f-52-00-00-00-00-0g"))),
        passed_on("BadJoinEui", 2, "4b:4f:52:56:4f:4c:44:01",
                  error_of(common::Eui::from_str("4b:4f:52:56:4f:4c:44:01"))),
        passed_on("BadKey", 3, "00 01", error_of(common::AppKey::from_str("00 01"))),
        passed_on("BadArticle", 4, "QZT410HoNO35", error_of(common::parse_article("QZT410HoNO35"))),
        passed_on("BadRevision", 5, "2.g", error_of(common::parse_revision("2.g"))),
        {"HeadOperatorLowerCase", with_column(9, "xa"), ErrorKind::InvalidInput, "Cannot match \"xa\""},
        {"HeadOperatorEmpty", with_column(9, ""), ErrorKind::InvalidInput, "Cannot match \"\""},
        {"TestOperatorUnknownCode", with_column(14, "XB"), ErrorKind::InvalidInput, "Cannot match \"XB\""},
        {"DeliveryOperatorThreeLetters", with_column(19, "XAX"), ErrorKind::InvalidInput,
         "Cannot match \"XAX\""},
        {"LsNumberOfSixDigits", with_column(16, "123456"), ErrorKind::InvalidInput,
         "An LS Number should contain 7 digits, received 6 digits"},
        {"LsNumberOfEightBytes", with_column(16, "12345678"), ErrorKind::InvalidInput,
         "An LS Number should contain 7 digits, received 8 digits"},
        {"LsNumberWithLetter", with_column(16, "12a4567"), ErrorKind::InvalidInput,
         "An LS Number should contain only digits, received 12a4567\ninvalid digit found in string"},
        {"BoxLetter", with_column(17, "x"), ErrorKind::InvalidInput, "Cannot parse x as a Box"},
        {"BoxEmpty", with_column(17, ""), ErrorKind::InvalidInput, "Cannot parse  as a Box"},
        {"BoxTooLarge", with_column(17, "70000"), ErrorKind::InvalidInput, "Cannot parse 70000 as a Box"},
        {"OrderSizeEmpty", with_column(18, ""), ErrorKind::Other, "cannot parse integer from empty string"},
        {"OrderSizeTooLarge", with_column(18, "70000"), ErrorKind::Other,
         "number too large to fit in target type"},
        {"OrderSizeOverflowsBeforeLetter", with_column(18, "99999a"), ErrorKind::Other,
         "number too large to fit in target type"},
        {"OrderSizeLetterBeforeOverflow", with_column(18, "1a0000"), ErrorKind::Other,
         "invalid digit found in string"},
        {"OrderSizeNegative", with_column(18, "-1"), ErrorKind::Other, "invalid digit found in string"},
    };
}

INSTANTIATE_TEST_SUITE_P(Lines, BadLineTest, testing::ValuesIn(bad_lines()),
                         [](const testing::TestParamInfo<BadLine>& info) { return info.param.name; });

TEST(ParseRecord, KxIsRefusedWhateverTheLine) {
    for (const std::string& line : {std::string(), kLine, with_column(17, "x")}) {
        const auto head = common::parse_record(DeviceKind::KX, line);
        ASSERT_FALSE(head);
        EXPECT_EQ(head.error(), (base::Error{ErrorKind::Unsupported, "QZT-KX is not supported"}));
    }
}

TEST(ParseRecord, ReturnsTheHeadOfAWholeLine) {
    const auto head = common::parse_record(DeviceKind::Valve, kLine);
    ASSERT_TRUE(head);
    EXPECT_EQ(*head, common::parse_valve_record(kLine)->head);
}

TEST(ParseRecord, LinesOfAnyArticleParseUnderEachKind) {
    const std::string wq_line = with_column(4, "QZTWQ1iNO-44");
    for (const DeviceKind kind : {DeviceKind::Valve, DeviceKind::JRX, DeviceKind::WQ}) {
        EXPECT_TRUE(common::parse_record(kind, wq_line));
        EXPECT_TRUE(common::parse_record(kind, kLine));
    }
}

TEST(TestStatus, ReadsTheWordsInAnyCaseAndEverythingElseAsUnrecognised) {
    const std::pair<std::string_view, TestStatus> cases[] = {
        {"pass", TestStatus::Pass},
        {"PASS", TestStatus::Pass},
        {"Pass", TestStatus::Pass},
        {"FaIl", TestStatus::Fail},
        {"INCOMPLETE", TestStatus::Incomplete},
        {" pass", TestStatus::Unrecognised},
        {"pass ", TestStatus::Unrecognised},
        {"passed", TestStatus::Unrecognised},
        {"", TestStatus::Unrecognised},
        {"unrecognised", TestStatus::Unrecognised},
        {"p\xC3\xA1ss", TestStatus::Unrecognised},
    };
    for (const auto& [text, status] : cases) EXPECT_EQ(common::test_status_from_str(text), status) << text;
}

TEST(TestStatus, BadStatusIsWrittenBackAsUnrecognised) {
    const auto record = common::parse_valve_record(with_column(11, "passed"));
    ASSERT_TRUE(record);
    EXPECT_EQ(record->to_string(), with_column(11, "unrecognised"));
    const auto upper = common::parse_valve_record(with_column(10, "PASS"));
    ASSERT_TRUE(upper);
    EXPECT_EQ(upper->to_string(), kLine);
}

TEST(CredentialRecord, SemicolonAfterColumn9ListsAnEmptyLastColumn) {
    const auto head = common::parse_record(DeviceKind::Valve, first_columns(10) + ";");
    ASSERT_FALSE(head);
    EXPECT_TRUE(head.error().message.starts_with("Cannot access 11 in\n[\"04:A1:7C:2B:5D:80:01\", "));
    EXPECT_TRUE(head.error().message.ends_with(", \"XA\", \"\"]")) << head.error().message;
}

TEST(OperatorCode, EachCodeReadsFromAndWritesToItsTwoLetters) {
    const std::string_view texts[] = {"??", "XA", "XE", "XI", "XO", "XU", "XY"};
    for (std::size_t i = 0; i < std::size(texts); ++i) {
        const auto code = common::operator_code_from_str(texts[i]);
        ASSERT_TRUE(code) << texts[i];
        EXPECT_EQ(static_cast<std::size_t>(*code), i);
        EXPECT_EQ(common::to_string(*code), texts[i]);
    }
}

TEST(LsNumber, PlusAndSixDigitsPassesAndIsWrittenWithSevenDigits) {
    const auto ls = common::LsNumber::from_str("+123456");
    ASSERT_TRUE(ls);
    EXPECT_EQ(ls->value, 123456u);
    EXPECT_EQ(ls->to_string(), "0123456");
    EXPECT_EQ(common::LsNumber{12345678}.to_string(), "12345678");
    EXPECT_EQ(common::LsNumber{0}.to_string(), "0000000");
}

TEST(BoxNumber, IsWrittenWithAtLeastThreeDigits) {
    EXPECT_EQ(common::BoxNumber{7}.to_string(), "007");
    EXPECT_EQ(common::BoxNumber{70}.to_string(), "070");
    EXPECT_EQ(common::BoxNumber{1000}.to_string(), "1000");
    EXPECT_EQ(common::BoxNumber{65535}.to_string(), "65535");
}

TEST(CredentialRecord, NumbersAreWrittenBackNormalised) {
    std::vector<std::string> columns = columns_of(kLine);
    columns[16] = "+041234";
    columns[17] = "7";
    columns[18] = "+12";
    const auto record = common::parse_valve_record(joined(columns));
    ASSERT_TRUE(record) << record.error().message;
    EXPECT_EQ(record->delivery->order_size, 12u);
    std::vector<std::string> expected = columns_of(kLine);
    expected[18] = "12";
    EXPECT_EQ(record->to_string(), joined(expected));
}

TEST(Customer, ColumnReadingABrandStaysFreeText) {
    const auto record = common::parse_valve_record(with_column(20, "Tavor"));
    ASSERT_TRUE(record);
    EXPECT_EQ(record->delivery->customer.kind, common::Customer::Kind::Other);
    EXPECT_EQ(record->delivery->customer.text, "Tavor");
    EXPECT_EQ(record->to_string(), with_column(20, "Tavor"));
}

TEST(Customer, BrandsHaveTheirTexts) {
    using Kind = common::Customer::Kind;
    EXPECT_EQ(common::Customer::brand(Kind::Alvenra).to_string(), "Alvenra");
    EXPECT_EQ(common::Customer::brand(Kind::RiloAg).to_string(), "Rilo AG");
    EXPECT_EQ(common::Customer::brand(Kind::Tavor).to_string(), "Tavor");
    EXPECT_EQ(common::Customer::other("").to_string(), "");
}

TEST(CredentialRecord, FreeTextColumnsMayBeEmpty) {
    std::vector<std::string> columns = columns_of(kLine);
    for (const std::size_t i : {6, 7, 8, 15, 20}) columns[i].clear();
    const auto record = common::parse_valve_record(joined(columns));
    ASSERT_TRUE(record) << record.error().message;
    EXPECT_EQ(record->to_string(), joined(columns));
}

TEST(CredentialRecord, ArticleRevisionSuffixIsDroppedAndColumn5GivesTheRevision) {
    const auto record = common::parse_valve_record(with_column(4, "QZT410HoNO35-TB-P-2.a"));
    ASSERT_TRUE(record);
    EXPECT_EQ(record->head.article, common::Article::QZT410HoNO35_TB_P);
    EXPECT_EQ(record->head.revision, (common::Revision{1, 4}));
    EXPECT_EQ(record->to_string(), kLine);
}

TEST(CredentialRecord, UpperCaseRevisionLetterIsWrittenInLowerCase) {
    const auto record = common::parse_valve_record(with_column(5, "2.C"));
    ASSERT_TRUE(record);
    EXPECT_EQ(record->head.revision, (common::Revision{2, 12}));
    EXPECT_EQ(record->to_string(), with_column(5, "2.c"));
}

TEST(CredentialRecord, IdentifiersAreWrittenInTheirOwnForms) {
    std::vector<std::string> columns = columns_of(kLine);
    columns[0] = "04a17c2b5d8001";
    columns[1] = "4B-4F-52-00-00-00-00-01";
    const auto record = common::parse_valve_record(joined(columns));
    ASSERT_TRUE(record) << record.error().message;
    EXPECT_EQ(record->to_string(), kLine);
}

}  // namespace
