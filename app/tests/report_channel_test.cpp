#include "app/report_channel.hpp"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

namespace {

rfid::TagUid uid(std::uint8_t last) { return rfid::TagUid{{0x04, 0xA1, 0x7C, 0x2B, 0x5D, 0x80, last}}; }

TEST(ReportChannel, YieldsEveryUidInTheOrderSentThenEndsWhenNoSenderIsLeft) {
    auto [sender, receiver] = app::make_report_channel();
    {
        const app::ReportSender clone = sender;
        EXPECT_TRUE(sender.send(uid(1)));
        EXPECT_TRUE(clone.send(uid(2)));
        EXPECT_TRUE(sender.send(uid(1)));
    }
    { [[maybe_unused]] const app::ReportSender last = std::move(sender); }
    EXPECT_EQ(receiver.receive(), uid(1));
    EXPECT_EQ(receiver.receive(), uid(2));
    EXPECT_EQ(receiver.receive(), uid(1));
    EXPECT_EQ(receiver.receive(), std::nullopt);
    EXPECT_EQ(receiver.receive(), std::nullopt);
}

TEST(ReportChannel, DrainWaitsForTheLastSenderAndTakesWhatItSentBeforeGoing) {
    auto [sender, receiver] = app::make_report_channel();
    std::thread other([held = std::move(sender)]() mutable {
        held.send(uid(7));
        app::ReportSender copy = held;
        held = app::ReportSender();
        copy.send(uid(8));
    });
    std::vector<rfid::TagUid> drained;
    while (auto next = receiver.receive()) drained.push_back(*next);
    other.join();
    EXPECT_EQ(drained, (std::vector{uid(7), uid(8)}));
}

TEST(ReportChannel, SendAfterTheReceiverIsGone_FailsWithoutBlocking) {
    auto channel = app::make_report_channel();
    app::ReportSender sender = std::move(channel.first);
    { [[maybe_unused]] const app::ReportReceiver gone = std::move(channel.second); }
    EXPECT_FALSE(sender.send(uid(1)));
    EXPECT_FALSE(app::ReportSender().send(uid(1)));
}

}  // namespace
