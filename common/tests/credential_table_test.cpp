#include "common/credential_table.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "common/lookup.hpp"
#include "common/record.hpp"
#include "common/release.hpp"
#include "common_tests/known_devices.hpp"

namespace {

using common::DeviceKind;

std::vector<std::string_view> table_lines() {
    std::string_view table = common::credential_table();
    std::vector<std::string_view> lines;
    while (!table.empty()) {
        const std::size_t lf = table.find('\n');
        if (lf == std::string_view::npos) {
            ADD_FAILURE() << "the last line has no LF";
            lines.push_back(table);
            break;
        }
        lines.push_back(table.substr(0, lf));
        table.remove_prefix(lf + 1);
    }
    return lines;
}

TEST(CredentialTable, EveryLineHas21ColumnsAndIsWrittenBackUnchanged) {
    const auto lines = table_lines();
    EXPECT_EQ(lines.size(), 604u);
    EXPECT_EQ(common::credential_table().size(), 142180u);
    EXPECT_EQ(common::credential_table().find('\r'), std::string_view::npos);
    for (const std::string_view line : lines) {
        ASSERT_EQ(common::split_columns(line).size(), 21u) << line;
        const auto record = common::parse_valve_record(line);
        ASSERT_TRUE(record) << line << "\n" << record.error().message;
        ASSERT_TRUE(record->delivery) << line;
        EXPECT_EQ(record->to_string(), line);
    }
}

TEST(CredentialTable, EveryLineIsFoundByItsTagAndByItsDeviceEui) {
    const std::string_view table = common::credential_table();
    for (const std::string_view line : table_lines()) {
        const auto head = common::parse_record(DeviceKind::Valve, line);
        ASSERT_TRUE(head) << line;
        const auto by_tag = common::find_record_by_tag(DeviceKind::Valve, head->device.tag_uid, table);
        ASSERT_TRUE(by_tag) << line;
        EXPECT_EQ(*by_tag, head->device) << line;
        const auto by_eui = common::find_record_by_eui(DeviceKind::Valve, head->device.dev_eui, table);
        ASSERT_TRUE(by_eui) << line;
        EXPECT_EQ(*by_eui, head->device) << line;
    }
}

TEST(CredentialTable, IdentifiersAreUniqueAndDeviceEuisAreNoJoinEui) {
    std::set<std::string> tags, dev_euis, join_euis, keys;
    std::map<std::size_t, int> articles;
    std::map<std::string, int> customers;
    for (const std::string_view line : table_lines()) {
        const auto record = common::parse_valve_record(line);
        ASSERT_TRUE(record);
        const common::DeviceRecord& device = record->head.device;
        EXPECT_TRUE(tags.insert(device.tag_uid.to_string()).second) << line;
        EXPECT_TRUE(dev_euis.insert(device.dev_eui.to_string()).second) << line;
        EXPECT_TRUE(keys.insert(device.app_key.to_string()).second) << line;
        join_euis.insert(device.join_eui.to_string());
        ++articles[common::index_of(record->head.article)];
        ++customers[record->delivery->customer.text];
        for (const auto status : record->tests->results) EXPECT_EQ(status, common::TestStatus::Pass) << line;
    }
    EXPECT_EQ(join_euis.size(), 8u);
    for (const std::string& join : join_euis) EXPECT_FALSE(dev_euis.contains(join));
    for (std::size_t i = 0; i < common::ARTICLE_COUNT; ++i) {
        const auto join = common::article_join_eui(static_cast<common::Article>(i));
        if (join) {
            EXPECT_FALSE(dev_euis.contains(join->to_string())) << i;
        }
    }
    EXPECT_EQ(
        articles,
        (std::map<std::size_t, int>{
            {0, 57}, {1, 5}, {2, 4}, {6, 421}, {12, 30}, {28, 9}, {29, 22}, {30, 26}, {31, 18}, {32, 12}}));
    EXPECT_EQ(customers, (std::map<std::string, int>{{"KORVEN GmbH", 598}, {"Korven GmbH", 6}}));
}

bool all_digits(std::string_view text) {
    return std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

TEST(CredentialTable, FreeColumnsHoldTheFleetsValueShapes) {
    const std::set<std::string_view> head_operators{"??", "XA", "XO", "XU", "XY"};
    const std::set<std::string_view> operators{"??", "XA", "XO", "XU"};
    std::set<std::string_view> hardware_versions;
    for (const std::string_view line : table_lines()) {
        const auto columns = common::split_columns(line);
        ASSERT_EQ(columns.size(), 21u) << line;
        hardware_versions.insert(columns[6]);
        EXPECT_EQ(columns[7].size(), 13u) << line;
        // Both dates are year-month-day, so their texts compare like the dates.
        EXPECT_EQ(columns[8].size(), 10u) << line;
        EXPECT_EQ(columns[15].size(), 10u) << line;
        EXPECT_LE(columns[8], columns[15]) << line;
        EXPECT_TRUE(head_operators.contains(columns[9])) << line;
        EXPECT_TRUE(operators.contains(columns[14])) << line;
        EXPECT_TRUE(operators.contains(columns[19])) << line;
        EXPECT_TRUE(columns[16].size() == 7 && all_digits(columns[16])) << line;
        EXPECT_TRUE(columns[17].size() == 3 && all_digits(columns[17])) << line;
        EXPECT_TRUE(!columns[18].empty() && columns[18].size() <= 3 && all_digits(columns[18])) << line;
    }
    EXPECT_EQ(hardware_versions.size(), 1u);
}

TEST(CredentialTable, KnownDevicesLeadTheTableAndTheUnknownTagIsAbsent) {
    const auto lines = table_lines();
    for (std::size_t i = 0; i < common_tests::KNOWN_DEVICES.size(); ++i) {
        const auto& known = common_tests::KNOWN_DEVICES[i];
        EXPECT_EQ(lines.at(i), known.line);
        const auto columns = common::split_columns(known.line);
        EXPECT_EQ(columns[0], known.tag_uid);
        EXPECT_EQ(columns[1], known.dev_eui);
        EXPECT_EQ(columns[2], known.join_eui);
        EXPECT_EQ(columns[3], known.app_key);
        EXPECT_EQ(columns[4], known.article);
    }
    EXPECT_EQ(common::credential_table().find(common_tests::UNKNOWN_TAG_UID), std::string_view::npos);
}

}  // namespace
