#include "app/state.hpp"

#include <gtest/gtest.h>

namespace {

using app::Content;
using app::ExternalUpdate;
using app::FlashState;

common::DeviceRecord record(std::uint8_t first) {
    common::DeviceRecord r;
    r.tag_uid.bytes[0] = first;
    r.app_key.bytes[0] = first;
    return r;
}

struct SameCase {
    const char* name;
    FlashState a;
    FlashState b;
    bool same;

    friend void PrintTo(const SameCase& c, std::ostream* os) { *os << c.name; }
};

class FlashStateSame : public ::testing::TestWithParam<SameCase> {};

TEST_P(FlashStateSame, ComparesTagsAndOnlyTheIdleMessage) {
    const auto& c = GetParam();
    EXPECT_EQ(FlashState::same(c.a, c.b), c.same);
    EXPECT_EQ(FlashState::same(c.b, c.a), c.same);
}

INSTANTIATE_TEST_SUITE_P(
    Table, FlashStateSame,
    ::testing::Values(
        SameCase{"IdleEmptyMessages", FlashState::Idle{}, FlashState::Idle{}, true},
        SameCase{"IdleOtherMessage", FlashState::Idle{"a"}, FlashState::Idle{"b"}, false},
        SameCase{"IdleLongerMessage", FlashState::Idle{"a"}, FlashState::Idle{"ab"}, false},
        SameCase{"FailedOtherText", FlashState::Failed{"a"}, FlashState::Failed{"b"}, true},
        SameCase{"PlugInOtherRecord", FlashState::PlugIn{record(1)}, FlashState::PlugIn{record(2)}, true},
        SameCase{"DetectDeviceOtherRecord", FlashState::DetectDevice{record(1)},
                 FlashState::DetectDevice{record(2)}, true},
        SameCase{"ReleaseOtherRecord", FlashState::Release{record(1)}, FlashState::Release{record(2)}, true},
        SameCase{"FlashingOtherRecord", FlashState::Flashing{record(1)}, FlashState::Flashing{record(2)},
                 true},
        SameCase{"ListCredentialsOtherUid", FlashState::ListCredentials{record(1).tag_uid},
                 FlashState::ListCredentials{record(2).tag_uid}, true},
        SameCase{"PlugInAndDetectDeviceSameRecord", FlashState::PlugIn{record(1)},
                 FlashState::DetectDevice{record(1)}, false},
        SameCase{"IdleAndFailedSameText", FlashState::Idle{"x"}, FlashState::Failed{"x"}, false},
        SameCase{"StartAndDetectRfid", FlashState::Start{}, FlashState::DetectRfid{}, false},
        SameCase{"SucceededTwice", FlashState::Succeeded{}, FlashState::Succeeded{}, true}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(FlashStateTags, FollowTheWorkflowOrder) {
    EXPECT_EQ(FlashState(FlashState::Idle{}).tag(), 0u);
    EXPECT_EQ(FlashState(FlashState::Start{}).tag(), 1u);
    EXPECT_EQ(FlashState(FlashState::DetectRfid{}).tag(), 2u);
    EXPECT_EQ(FlashState(FlashState::PlugIn{}).tag(), 3u);
    EXPECT_EQ(FlashState(FlashState::DetectDevice{}).tag(), 4u);
    EXPECT_EQ(FlashState(FlashState::Release{}).tag(), 5u);
    EXPECT_EQ(FlashState(FlashState::Flashing{}).tag(), 6u);
    EXPECT_EQ(FlashState(FlashState::ListCredentials{}).tag(), 7u);
    EXPECT_EQ(FlashState(FlashState::Succeeded{}).tag(), 8u);
    EXPECT_EQ(FlashState(FlashState::Failed{}).tag(), 9u);
}

TEST(ContentSame, TypedEuiCountsButTargetDoesNot) {
    Content a;
    Content b = a;
    EXPECT_TRUE(Content::same(a, b));
    b.eui = "4b";
    EXPECT_FALSE(Content::same(a, b));
    b = a;
    b.target.revision.minor = 0xc;
    EXPECT_TRUE(Content::same(a, b));
    b.state = FlashState::Idle{"Cannot find"};
    EXPECT_FALSE(Content::same(a, b));
}

TEST(ExternalUpdateSame, FirmwareVersionAloneDoesNotCountButTheCsvFieldsDo) {
    ExternalUpdate a;
    ExternalUpdate b = a;
    b.firmware_version = "2024.09.03.00";
    EXPECT_TRUE(ExternalUpdate::same(a, b));
    b = a;
    b.csv_error = "No such file or directory (os error 2)";
    EXPECT_FALSE(ExternalUpdate::same(a, b));
    b = a;
    b.csv_failed = true;
    EXPECT_FALSE(ExternalUpdate::same(a, b));
    b = a;
    b.content.eui = "x";
    EXPECT_FALSE(ExternalUpdate::same(a, b));
}

TEST(ExternalUpdateCopy, HoldsAFurtherSendingHandleOfTheSameChannel) {
    auto [sender, receiver] = app::make_report_channel();
    auto data = std::make_unique<ExternalUpdate>();
    data->content.report_sender = std::move(sender);
    auto copy = std::make_unique<ExternalUpdate>(*data);
    data.reset();
    ASSERT_TRUE(copy->content.report_sender.send(rfid::TagUid{{1, 2, 3, 4, 5, 6, 7}}));
    copy.reset();
    EXPECT_EQ(receiver.receive(), (rfid::TagUid{{1, 2, 3, 4, 5, 6, 7}}));
    EXPECT_EQ(receiver.receive(), std::nullopt);
}

}  // namespace
