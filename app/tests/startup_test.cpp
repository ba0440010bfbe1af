#include "app/startup.hpp"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "common/release.hpp"

namespace {

using app::ExternalUpdate;
using app::FlashState;
using Log = std::vector<std::string>;

rfid::TagUid uid(std::uint8_t last) { return rfid::TagUid{{0x04, 0xA1, 0x7C, 0x2B, 0x5D, 0x80, last}}; }

struct Mail {
    std::string customer;
    std::string target;
    std::string release;
    std::vector<rfid::TagUid> uids;
    std::string relay_host;
};

// Start-up with every outside effect recorded: the CSV creation, the launch (which plays the open
// window's part on the data it is handed) and the mail.
class Startup : public ::testing::Test {
  protected:
    Startup() {
        config_.target = "QZT410HoNO35-TB-P-2.c";
        config_.customer = "KORVEN GmbH";
        config_.window_title = "Caldrinex Firmware Update Tool";
        config_.window_width = 700.0;
        config_.window_height = 350.0;
        config_.mail.relay_host = "relay.example.test";

        services_.create_credentials_csv = [this](common::DeviceKind kind,
                                                  const common::Customer& customer) -> base::Result<void> {
            log_.push_back("create_credentials_csv " + std::to_string(static_cast<int>(kind)) + " " +
                           (customer == common::Customer::other("KORVEN GmbH") ? "free text" : "other"));
            if (csv_error_) return std::unexpected(*csv_error_);
            return {};
        };
        services_.workflow.remove_firmware_file = [this]() -> base::Result<void> {
            log_.push_back("remove_firmware_file");
            return std::unexpected(
                base::Error{base::ErrorKind::NotFound, "No such file or directory (os error 2)"});
        };
        services_.launch = [this](const app::WindowDesc& window, ExternalUpdate data) {
            log_.push_back("launch " + window.title + " " + std::to_string(window.width) + "x" +
                           std::to_string(window.height));
            seen_ = data;
            seen_->content.report_sender = {};  // a kept handle would hold the drain open
            // Devices flashed while the window is open, one of them twice; a copy of the data is a
            // further sending handle, gone with the window like the data itself.
            const ExternalUpdate copy = data;
            for (const auto& sent : window_sends_) copy.content.report_sender.send(sent);
        };
        services_.send_report_mail = [this](std::string_view customer, const common::ArticleRevision& target,
                                            std::string_view release, std::span<const rfid::TagUid> uids,
                                            const app::MailSettings& settings) -> base::Result<void> {
            log_.push_back("send_report_mail");
            mails_.push_back({std::string(customer),
                              target.to_string(),
                              std::string(release),
                              {uids.begin(), uids.end()},
                              settings.relay_host});
            return std::unexpected(base::Error{base::ErrorKind::Other, "Couldn't resolve host name"});
        };
    }

    int run() { return app::run_station(config_, services_); }

    app::StartupConfig config_;
    app::StartupServices services_;
    std::optional<base::Error> csv_error_;
    std::vector<rfid::TagUid> window_sends_;
    std::optional<ExternalUpdate> seen_;
    std::vector<Mail> mails_;
    Log log_;
};

TEST_F(Startup, UnusableTarget_StopsWith101BeforeAnyFileOrWindow) {
    for (const std::string target : {"QZT410HoNO35-TB-P", "no such article-2.c", "QZT410HoNO35-TB-P-2.b"}) {
        log_.clear();
        config_.target = target;
        testing::internal::CaptureStderr();
        EXPECT_EQ(run(), 101) << target;
        const std::string said = testing::internal::GetCapturedStderr();
        EXPECT_NE(said.find(target), std::string::npos) << said;
        EXPECT_EQ(log_, Log{}) << target;
    }
}

TEST_F(Startup, NormalRun_RemovesAStaleWorkFileCreatesTheCsvFileThenLaunchesTheWindowOverTheInitialData) {
    EXPECT_EQ(run(), 0);
    EXPECT_EQ(log_, (Log{"remove_firmware_file", "create_credentials_csv 0 free text",
                         "launch Caldrinex Firmware Update Tool 700.000000x350.000000"}));
    ASSERT_TRUE(seen_);
    ASSERT_TRUE(seen_->content.state.is<FlashState::Idle>());
    EXPECT_EQ(seen_->content.state.get_if<FlashState::Idle>()->message, "");
    EXPECT_EQ(seen_->content.eui, "");
    EXPECT_EQ(seen_->content.target.to_string(), "QZT410HoNO35-TB-P-2.c");
    EXPECT_EQ(seen_->firmware_version, "2024.09.03.00");
    EXPECT_EQ(seen_->csv_error, "");
    EXPECT_FALSE(seen_->csv_failed);
}

TEST_F(Startup, CsvFileThatCannotBeCreated_IsShownAndTheRunEndsNormallyWithoutMail) {
    csv_error_ = base::Error{base::ErrorKind::ReadOnlyFilesystem, "Read-only file system (os error 30)"};
    EXPECT_EQ(run(), 0);
    ASSERT_TRUE(seen_);
    EXPECT_TRUE(seen_->csv_failed);
    EXPECT_EQ(seen_->csv_error, "Read-only file system (os error 30)");
    EXPECT_TRUE(mails_.empty());
}

TEST_F(Startup, NoDeviceUpdated_NoMail) {
    EXPECT_EQ(run(), 0);
    EXPECT_TRUE(mails_.empty());
}

TEST_F(Startup, DevicesUpdated_AreMailedOnceEachInOrderOfFirstUpdateAndAFailedMailChangesNothing) {
    window_sends_ = {uid(3), uid(1), uid(3), uid(2), uid(1)};
    EXPECT_EQ(run(), 0);
    ASSERT_EQ(mails_.size(), 1u);
    EXPECT_EQ(mails_[0].customer, "KORVEN GmbH");
    EXPECT_EQ(mails_[0].target, "QZT410HoNO35-TB-P-2.c");
    EXPECT_EQ(mails_[0].release, "2024.09.03.00");
    EXPECT_EQ(mails_[0].uids, (std::vector{uid(3), uid(1), uid(2)}));
    EXPECT_EQ(mails_[0].relay_host, "relay.example.test");
}

TEST(CollectReportedUids, EndsOnceTheQueueIsEmptyAndNoSenderIsLeft) {
    auto [sender, receiver] = app::make_report_channel();
    sender.send(uid(1));
    sender.send(uid(1));
    sender.send(uid(9));
    { const app::ReportSender gone = std::move(sender); }
    EXPECT_EQ(app::collect_reported_uids(receiver), (std::vector{uid(1), uid(9)}));
}

}  // namespace
