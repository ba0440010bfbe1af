#include "common/lookup.hpp"

#include <gtest/gtest.h>

#include <string>

#include "common_tests/known_devices.hpp"

namespace {

using base::ErrorKind;
using common::DeviceKind;
using common_tests::KNOWN_DEVICES;

rfid::TagUid tag(std::string_view text) { return *rfid::TagUid::from_str(text); }
common::Eui eui(std::string_view text) { return *common::Eui::from_str(text); }

const std::string kFirst(KNOWN_DEVICES[0].line);
const std::string kSecond(KNOWN_DEVICES[1].line);
const std::string kThird(KNOWN_DEVICES[2].line);

std::string replaced(std::string text, std::string_view from, std::string_view to) {
    const std::size_t at = text.find(from);
    EXPECT_NE(at, std::string::npos) << from;
    return text.replace(at, from.size(), to);
}

TEST(FindRowByTag, CrLfTableFindsTheSameLinesWithoutTheCr) {
    const std::string lf = kFirst + "\n" + kSecond + "\n" + kThird + "\n";
    const std::string crlf = kFirst + "\r\n" + kSecond + "\r\n" + kThird + "\r\n";
    for (const auto& device : KNOWN_DEVICES) {
        if (device.line == KNOWN_DEVICES[3].line) continue;
        const auto from_lf = common::find_row_by_tag(tag(device.tag_uid), lf);
        const auto from_crlf = common::find_row_by_tag(tag(device.tag_uid), crlf);
        ASSERT_TRUE(from_lf && from_crlf);
        EXPECT_EQ(*from_lf, device.line);
        EXPECT_EQ(*from_crlf, device.line);
    }
}

TEST(FindRowByTag, LastLineWithoutLfIsFound) {
    const auto row = common::find_row_by_tag(tag(KNOWN_DEVICES[1].tag_uid), kFirst + "\n" + kSecond);
    ASSERT_TRUE(row);
    EXPECT_EQ(*row, kSecond);
}

TEST(FindRowByTag, CrOnlyGoesWithTheLf) {
    // A CR ending an unended last line, or standing alone inside a line, stays part of the line.
    const auto last = common::find_row_by_tag(tag(KNOWN_DEVICES[1].tag_uid), kFirst + "\n" + kSecond + "\r");
    ASSERT_TRUE(last);
    EXPECT_EQ(*last, kSecond + "\r");
    const auto inner = common::find_row_by_tag(tag(KNOWN_DEVICES[0].tag_uid), "x\r" + kFirst + "\r\r\n");
    ASSERT_TRUE(inner);
    EXPECT_EQ(*inner, "x\r" + kFirst + "\r");
}

TEST(FindRowByTag, KeyInTwoLinesGivesTheFirst) {
    const std::string copy = replaced(kFirst, "KORVEN GmbH", "second");
    const auto row = common::find_row_by_tag(tag(KNOWN_DEVICES[0].tag_uid),
                                             kSecond + "\n\n" + kFirst + "\n" + copy + "\n");
    ASSERT_TRUE(row);
    EXPECT_EQ(*row, kFirst);
}

TEST(FindRowByTag, KeyMayStandAnywhereInTheLine) {
    const std::string line = "free text " + std::string(KNOWN_DEVICES[2].tag_uid) + " more";
    const auto row = common::find_row_by_tag(tag(KNOWN_DEVICES[2].tag_uid), kFirst + "\n" + line + "\n");
    ASSERT_TRUE(row);
    EXPECT_EQ(*row, line);
}

TEST(FindRowByTag, MissingKeyNamesTheTag) {
    struct Case {
        std::string name;
        std::string table;
    };
    const std::string lower = replaced(kFirst, "04:A1:7C:2B:5D:80:01", "04:a1:7c:2b:5d:80:01");
    const Case cases[] = {
        {"empty table", ""},
        {"only line ends", "\n\r\n\n"},
        {"tag in lower case", lower + "\n"},
        {"tag cut by a line end", "04:A1:7C:2B:5D\n:80:01\n"},
        {"other devices", kSecond + "\n" + kThird},
    };
    for (const Case& c : cases) {
        const auto row = common::find_row_by_tag(tag(KNOWN_DEVICES[0].tag_uid), c.table);
        ASSERT_FALSE(row) << c.name;
        EXPECT_EQ(row.error(), (base::Error{ErrorKind::NotFound, "Cannot find 04:A1:7C:2B:5D:80:01"}))
            << c.name;
    }
}

TEST(FindRecordByTag, GivesTheLinesOwnIdentifiers) {
    const auto record = common::find_record_by_tag(DeviceKind::Valve, tag(KNOWN_DEVICES[1].tag_uid),
                                                   kFirst + "\n" + kSecond + "\n");
    ASSERT_TRUE(record) << record.error().message;
    EXPECT_EQ(record->tag_uid.to_string(), KNOWN_DEVICES[1].tag_uid);
    EXPECT_EQ(record->dev_eui.to_string(), KNOWN_DEVICES[1].dev_eui);
    EXPECT_EQ(record->join_eui.to_string(), KNOWN_DEVICES[1].join_eui);
    EXPECT_EQ(record->app_key.to_string(), KNOWN_DEVICES[1].app_key);
}

TEST(FindRecordByTag, MatchingLineThatFailsToParseEndsTheLookup) {
    const std::string bad_box = replaced(kFirst, ";007;", ";x;");
    const auto record = common::find_record_by_tag(DeviceKind::Valve, tag(KNOWN_DEVICES[0].tag_uid),
                                                   bad_box + "\n" + kFirst + "\n");
    ASSERT_FALSE(record);
    EXPECT_EQ(record.error(), (base::Error{ErrorKind::InvalidInput, "Cannot parse x as a Box"}));
}

TEST(FindRecordByTag, KxIsRefusedOnlyOnceTheLineIsFound) {
    const auto found = common::find_record_by_tag(DeviceKind::KX, tag(KNOWN_DEVICES[0].tag_uid), kFirst);
    ASSERT_FALSE(found);
    EXPECT_EQ(found.error(), (base::Error{ErrorKind::Unsupported, "QZT-KX is not supported"}));
    const auto missing = common::find_record_by_tag(DeviceKind::KX, tag(KNOWN_DEVICES[1].tag_uid), kFirst);
    ASSERT_FALSE(missing);
    EXPECT_EQ(missing.error(), (base::Error{ErrorKind::NotFound, "Cannot find 04:A1:7C:2B:5D:80:02"}));
}

TEST(FindRecordByEui, FindsTheDevice) {
    const auto record = common::find_record_by_eui(DeviceKind::WQ, eui(KNOWN_DEVICES[2].dev_eui),
                                                   kFirst + "\n" + kSecond + "\n" + kThird + "\n");
    ASSERT_TRUE(record) << record.error().message;
    EXPECT_EQ(record->tag_uid.to_string(), KNOWN_DEVICES[2].tag_uid);
}

TEST(FindRecordByEui, EuiEqualToAnEarlierLinesJoinEuiGivesThatLine) {
    const std::string later = replaced(kSecond, KNOWN_DEVICES[1].dev_eui, KNOWN_DEVICES[0].join_eui);
    const auto record = common::find_record_by_eui(DeviceKind::Valve, eui(KNOWN_DEVICES[0].join_eui),
                                                   kFirst + "\n" + later + "\n");
    ASSERT_TRUE(record) << record.error().message;
    EXPECT_EQ(record->tag_uid.to_string(), KNOWN_DEVICES[0].tag_uid);
}

TEST(FindRecordByEui, MissingEuiNamesItInLowerCase) {
    const auto record = common::find_record_by_eui(DeviceKind::Valve, eui("4B4F5200000000FF"), kFirst);
    ASSERT_FALSE(record);
    EXPECT_EQ(record.error(), (base::Error{ErrorKind::NotFound, "Cannot find 4b-4f-52-00-00-00-00-ff"}));
}

}  // namespace
