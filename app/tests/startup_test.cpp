#include "app/startup.hpp"

#include <gtest/gtest.h>

#include <QApplication>
#include <QPushButton>
#include <QTimer>
#include <csignal>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "common/credential_table.hpp"
#include "common/lookup.hpp"
#include "common/release.hpp"
#include "common_tests/known_devices.hpp"
#include "test_services.hpp"

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
        services_.workflow = app_tests::test_services();

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
        services_.launch = [this](const app::WindowDesc& window, ExternalUpdate data,
                                  const std::function<void()>& display_lost) {
            log_.push_back("launch " + window.title + " " + std::to_string(window.width) + "x" +
                           std::to_string(window.height));
            seen_ = data;
            seen_->content.report_sender = {};  // a kept handle would hold the drain open
            // Devices flashed while the window is open, one of them twice; a copy of the data is a
            // further sending handle, gone with the window like the data itself.
            const ExternalUpdate copy = data;
            for (const auto& sent : window_sends_) copy.content.report_sender.send(sent);
            // Qt would end the process right after; here the data's handles are all still there.
            if (display_lost_) display_lost();
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
    bool display_lost_ = false;
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

TEST_F(Startup, DisplayLostWithTheWindowOpen_MailsWhatIsQueuedOnceEachWithoutWaitingForTheWindow) {
    window_sends_ = {uid(3), uid(1), uid(3)};
    display_lost_ = true;
    EXPECT_EQ(run(), 0);
    ASSERT_EQ(mails_.size(), 1u);
    EXPECT_EQ(mails_[0].uids, (std::vector{uid(3), uid(1)}));
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

// The window on Qt's offscreen platform with every workflow service scripted; one of them, or the idle
// window, gets SIGTERM, as an operator's session or a service manager sends it.
enum class SignalAt { Idle, TagWait, DeviceWait, Flashing, Tones };

struct SignalCase {
    const char* name;
    SignalAt at;
    Log calls;  // every service call of the run, in order
    bool reported;

    friend void PrintTo(const SignalCase& c, std::ostream* out) { *out << c.name; }
};

class SignalDuringTheRun : public testing::TestWithParam<SignalCase> {
  protected:
    void raise_at(SignalAt at) {
        if (GetParam().at == at) std::raise(SIGTERM);
    }

    app::WorkflowServices services() {
        app::WorkflowServices s = app_tests::test_services();
        s.read_tag_uid = [this](std::chrono::nanoseconds) -> base::Result<rfid::TagUid> {
            calls_.push_back("read_tag_uid");
            raise_at(SignalAt::TagWait);
            return rfid::TagUid::from_str(common_tests::KNOWN_DEVICES[0].tag_uid);
        };
        s.find_record_by_tag = [this](common::DeviceKind kind, const rfid::TagUid& tag,
                                      std::string_view table) {
            calls_.push_back("find_record_by_tag");
            return common::find_record_by_tag(kind, tag, table);
        };
        s.article_join_eui = [this](common::Article article) {
            calls_.push_back("article_join_eui");
            return common::article_join_eui(article);
        };
        s.probe_device = [this](common::DeviceKind) -> base::Result<bool> {
            calls_.push_back("probe_device");
            raise_at(SignalAt::DeviceWait);
            return true;
        };
        s.remove_firmware_file = [this]() -> base::Result<void> {
            calls_.push_back("remove_firmware_file");
            return {};
        };
        s.prepare_firmware_file = [this](std::span<const std::uint8_t>,
                                         const common::AppKey&) -> base::Result<void> {
            calls_.push_back("prepare_firmware_file");
            return {};
        };
        s.flash_device = [this](common::DeviceKind, std::string_view) -> base::Result<void> {
            calls_.push_back("flash_device");
            raise_at(SignalAt::Flashing);
            return {};
        };
        s.export_record = [this](const rfid::TagUid&, std::string_view,
                                 const common::ArticleRevision&) -> base::Result<void> {
            calls_.push_back("export_record");
            return {};
        };
        s.play_beeps = [this](std::uint8_t count, std::uint64_t, std::uint64_t) {
            calls_.push_back("play_beeps " + std::to_string(count));
            raise_at(SignalAt::Tones);
        };
        s.sleep = [](std::chrono::milliseconds) {};
        s.now = [] { return std::chrono::steady_clock::time_point{}; };
        return s;
    }

    static app::StationRoot* station_root() {
        for (QWidget* widget : QApplication::topLevelWidgets())
            if (auto* root = dynamic_cast<app::StationRoot*>(widget)) return root;
        return nullptr;
    }

    Log calls_;
};

TEST_P(SignalDuringTheRun, ClosesTheWindowOnceTheRunningStepHasEndedAndStartsNoOtherStep) {
    const SignalCase& c = GetParam();
    auto [sender, receiver] = app::make_report_channel();
    ExternalUpdate data;
    data.content.target = *common::parse_article_revision("QZT410HoNO35-TB-P-2.c");
    data.content.report_sender = std::move(sender);
    const app::WindowDesc window{
        app::build_ui(app::UiOptions{"KORVEN GmbH", true, services(), common::credential_table()}),
        "Caldrinex Firmware Update Tool", 700.0, 350.0};

    QTimer::singleShot(0, [&] {
        if (c.at == SignalAt::Idle) {
            std::raise(SIGTERM);
        } else {
            station_root()->update_device_button()->click();
        }
    });
    // Only a window that never closes meets this; it ends the loop so that the test can fail.
    bool closed = true;
    QTimer deadline;
    deadline.setSingleShot(true);
    QObject::connect(&deadline, &QTimer::timeout, [&] {
        closed = false;
        QCoreApplication::exit(1);
    });
    deadline.start(30000);
    app::run_window(window, std::move(data));
    deadline.stop();
    // The quit that Qt queues for its last window would end the next test's loop at once.
    QCoreApplication::removePostedEvents(qApp, QEvent::Quit);

    EXPECT_TRUE(closed);
    EXPECT_EQ(station_root(), nullptr);
    EXPECT_EQ(calls_, c.calls);
    EXPECT_EQ(app::collect_reported_uids(receiver).size(), c.reported ? 1u : 0u);
}

const Log TAG_STEP = {"read_tag_uid", "find_record_by_tag", "article_join_eui"};
Log with(Log first, const Log& more) {
    first.insert(first.end(), more.begin(), more.end());
    return first;
}
const Log WHOLE_UPDATE =
    with(TAG_STEP, {"probe_device", "remove_firmware_file", "prepare_firmware_file", "flash_device",
                    "remove_firmware_file", "export_record", "play_beeps 3"});

INSTANTIATE_TEST_SUITE_P(
    Cases, SignalDuringTheRun,
    testing::Values(SignalCase{"Idle", SignalAt::Idle, {}, false},
                    SignalCase{"TagWait", SignalAt::TagWait, TAG_STEP, false},
                    SignalCase{"DeviceWait", SignalAt::DeviceWait, with(TAG_STEP, {"probe_device"}), false},
                    SignalCase{"Flashing", SignalAt::Flashing, WHOLE_UPDATE, true},
                    SignalCase{"Tones", SignalAt::Tones, WHOLE_UPDATE, true}),
    [](const testing::TestParamInfo<SignalCase>& info) { return std::string(info.param.name); });

}  // namespace
