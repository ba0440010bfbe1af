#include <gtest/gtest.h>

#include <QCoreApplication>
#include <chrono>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/commands.hpp"
#include "app/data_host.hpp"
#include "app/firmware_file.hpp"
#include "app/flash.hpp"
#include "common/credential_table.hpp"
#include "common/credentials_csv.hpp"
#include "common/stm32_programmer.hpp"
#include "common_tests/known_devices.hpp"
#include "embedded/firmware_image.hpp"
#include "standin_fixture.hpp"
#include "test_services.hpp"

namespace {

namespace fs = std::filesystem;
using app::Content;
using app::FlashState;
using std::chrono::milliseconds;
using std::chrono::seconds;
using Log = std::vector<std::string>;

constexpr std::string_view LISTING_FAILED =
    "Flashing succeeded, but application failed to list device in CSV.\nPlease unplug the USB and replace "
    "the "
    "matching device lid.\n";

const common::ArticleRevision& target() {
    static const auto parsed = common::parse_article_revision("QZT410HoNO35-TB-P-2.c");
    return *parsed;
}

rfid::TagUid known_uid() { return *rfid::TagUid::from_str(common_tests::KNOWN_DEVICES[0].tag_uid); }

common::DeviceRecord table_record() {
    const auto& device = common_tests::KNOWN_DEVICES[0];
    return {known_uid(), *common::Eui::from_str(device.dev_eui), *common::Eui::from_str(device.join_eui),
            *common::AppKey::from_str(device.app_key)};
}

const common::Eui& target_join() {
    static const common::Eui join = *common::Eui::from_str("70-b3-d5-7e-d0-05-aa-01");
    return join;
}

base::Error error(std::string text) { return base::Error{base::ErrorKind::Other, std::move(text)}; }

// A child that writes down what reaches it: the states it is updated with and the commands it gets.
class Recorder : public app::ContentWidget {
  public:
    Recorder(Log& log, std::string name) : log_(log), name_(std::move(name)) {}

    void update(const Content& now) override {
        log_.push_back(name_ + " sees " + std::to_string(now.state.tag()));
    }

  protected:
    bool event(QEvent* event) override {
        if (event->type() == app::CommandEvent::event_type())
            log_.push_back(name_ + " gets " + static_cast<app::CommandEvent*>(event)->selector());
        return ContentWidget::event(event);
    }

  private:
    Log& log_;
    std::string name_;
};

// The panel over a window's data, with every outside service scripted and a clock that moves only
// when the workflow sleeps or a probe takes time.
class Workflow : public ::testing::Test {
  protected:
    Workflow() {
        auto [sender, receiver] = app::make_report_channel();
        receiver_.emplace(std::move(receiver));
        app::ExternalUpdate initial;
        initial.content.target = target();
        initial.content.report_sender = std::move(sender);
        host_.emplace(std::move(initial));

        auto& s = services_;
        s.read_tag_uid = [this](std::chrono::nanoseconds timeout) -> base::Result<rfid::TagUid> {
            log_.push_back("read_tag_uid " +
                           std::to_string(std::chrono::duration_cast<seconds>(timeout).count()));
            if (tag_error) return std::unexpected(*tag_error);
            return known_uid();
        };
        s.find_record_by_tag = [this](common::DeviceKind kind, const rfid::TagUid& uid,
                                      std::string_view table) -> base::Result<common::DeviceRecord> {
            log_.push_back("find_record_by_tag " + std::to_string(static_cast<int>(kind)) + " " +
                           uid.to_string() + (table == common::credential_table() ? " table" : " other"));
            if (lookup_error) return std::unexpected(*lookup_error);
            return table_record();
        };
        s.article_join_eui = [this](common::Article article) -> base::Result<common::Eui> {
            log_.push_back("article_join_eui " + std::string(common::to_string(article)));
            if (join_error) return std::unexpected(*join_error);
            return target_join();
        };
        s.probe_device = [this](common::DeviceKind kind) -> base::Result<bool> {
            log_.push_back("probe_device " + std::to_string(static_cast<int>(kind)));
            ++probes;
            now_ += probe_takes;
            if (probe_error) return std::unexpected(*probe_error);
            return probes >= ready_at_probe;
        };
        s.remove_firmware_file = [this]() -> base::Result<void> {
            log_.push_back("remove_firmware_file");
            return std::unexpected(error("No such file or directory (os error 2)"));
        };
        s.prepare_firmware_file = [this](std::span<const std::uint8_t> image,
                                         const common::AppKey& key) -> base::Result<void> {
            log_.push_back("prepare_firmware_file " + std::to_string(image.size()) + " " + key.to_string());
            if (prepare_error) return std::unexpected(*prepare_error);
            return {};
        };
        s.flash_device = [this](common::DeviceKind kind, std::string_view path) -> base::Result<void> {
            log_.push_back("flash_device " + std::to_string(static_cast<int>(kind)) + " " +
                           std::string(path));
            if (flash_error) return std::unexpected(*flash_error);
            return {};
        };
        s.export_record = [this](const rfid::TagUid& uid, std::string_view table,
                                 const common::ArticleRevision& at) -> base::Result<void> {
            // The report channel must hold the UID before the listing starts.
            const auto reported = receiver_->try_receive();
            log_.push_back("export_record " + uid.to_string() +
                           (table == common::credential_table() ? " table " : " other ") + at.to_string() +
                           (reported == uid ? " reported" : " unreported"));
            if (reported) sent.push_back(*reported);
            if (export_error) return std::unexpected(*export_error);
            return {};
        };
        s.play_beeps = [this](std::uint8_t count, std::uint64_t tone_ms, std::uint64_t pause_ms) {
            log_.push_back("play_beeps " + std::to_string(count) + " " + std::to_string(tone_ms) + " " +
                           std::to_string(pause_ms));
        };
        s.sleep = [this](milliseconds duration) {
            log_.push_back("sleep " + std::to_string(duration.count()));
            now_ += duration;
        };
        s.now = [this] { return now_; };
    }

    void build() {
        flash_ = std::make_unique<app::Flash>(
            app::ContentAccess{[this]() -> Content& { return host_->data().content; },
                               [this] { host_->update_pass(); }},
            new Recorder(log_, "eui_entry"), new Recorder(log_, "update_button"),
            new Recorder(log_, "ok_button"), common::credential_table(), app::firmware_image(), services_);
        host_->set_root_update([this](const app::ExternalUpdate& old, const app::ExternalUpdate& now) {
            flash_->update(old.content, now.content);
        });
    }

    // What the "Update Device" click does in this build, followed by the data pass.
    void click_update_device() {
        if (!flash_) build();
        host_->data().content.state = FlashState::Start{};
        host_->update_pass();
    }

    // Delivers the queued commands, one turn of the loop after the other, until none is left.
    void settle() {
        for (int turn = 0; turn < 100; ++turn)
            QCoreApplication::sendPostedEvents(flash_.get(), app::CommandEvent::event_type());
    }

    void post(std::string_view selector, app::CommandPayload payload = {}) {
        if (!flash_) build();
        app::submit_command(flash_.get(), selector, std::move(payload));
        settle();
    }

    [[nodiscard]] const FlashState& state() const { return host_->data().content.state; }
    [[nodiscard]] std::string failed_text() const {
        const auto* failed = state().get_if<FlashState::Failed>();
        return failed ? failed->text : "<not failed>";
    }
    // The service calls only, without the children's records.
    [[nodiscard]] Log calls() const {
        Log out;
        for (const auto& line : log_)
            if (line.rfind("eui_entry", 0) != 0 && line.rfind("update_button", 0) != 0 &&
                line.rfind("ok_button", 0) != 0)
                out.push_back(line);
        return out;
    }
    void drain_channel() {
        while (auto uid = receiver_->try_receive()) sent.push_back(*uid);
    }

  public:
    // Script.
    std::optional<base::Error> tag_error, lookup_error, join_error, probe_error, prepare_error, flash_error,
        export_error;
    int ready_at_probe = 1;
    milliseconds probe_takes{0};
    int probes = 0;
    std::vector<rfid::TagUid> sent;

    app::WorkflowServices services_ = app_tests::test_services();
    Log log_;
    std::optional<app::ReportReceiver> receiver_;
    std::optional<app::DataHost> host_;
    std::unique_ptr<app::Flash> flash_;
    std::chrono::steady_clock::time_point now_{};
};

std::string key_text() { return table_record().app_key.to_string(); }

TEST_F(Workflow, OneDevice_GoesFromStartToSucceededCallingEachServiceOnceInOrder) {
    click_update_device();
    settle();
    EXPECT_TRUE(state().is<FlashState::Succeeded>());
    const std::string uid = known_uid().to_string();
    EXPECT_EQ(calls(),
              (Log{"read_tag_uid 60", "find_record_by_tag 0 " + uid + " table",
                   "article_join_eui QZT410HoNO35-TB-P", "sleep 1000", "probe_device 0",
                   "remove_firmware_file", "prepare_firmware_file 144488 " + key_text(),
                   "flash_device 0 flash_me.bin", "remove_firmware_file",
                   "export_record " + uid + " table QZT410HoNO35-TB-P-2.c reported", "play_beeps 3 250 50"}));
    drain_channel();
    EXPECT_EQ(sent, (std::vector{known_uid()}));
}

TEST_F(Workflow, RecordCarriedThroughTheSteps_HasTheTargetsJoinEuiAndTheTablesKeyAndUid) {
    std::vector<common::DeviceRecord> seen;
    services_.flash_device = [](common::DeviceKind, std::string_view) -> base::Result<void> { return {}; };
    services_.prepare_firmware_file = [&](std::span<const std::uint8_t>,
                                          const common::AppKey&) -> base::Result<void> {
        seen.push_back(state().get_if<FlashState::Flashing>()->record);
        return {};
    };
    click_update_device();
    settle();
    ASSERT_EQ(seen.size(), 1u);
    common::DeviceRecord expected = table_record();
    expected.join_eui = target_join();
    EXPECT_EQ(seen[0], expected);
}

TEST_F(Workflow, ChildrenAreUpdatedAfterEachStep_SoOkComesOnlyAfterTheTones) {
    click_update_device();
    settle();
    const auto beeps = std::find(log_.begin(), log_.end(), "play_beeps 3 250 50");
    ASSERT_NE(beeps, log_.end());
    EXPECT_EQ(Log(beeps, log_.end()),
              (Log{"play_beeps 3 250 50", "eui_entry sees 8", "update_button sees 8", "ok_button sees 8"}));
}

struct FailureCase {
    const char* name;
    std::optional<base::Error> Workflow::*fault;
    std::string message;
    std::string failed_text;
    Log calls;
    bool reported;

    friend void PrintTo(const FailureCase& c, std::ostream* os) { *os << c.name; }
};

class WorkflowFailure : public Workflow, public ::testing::WithParamInterface<FailureCase> {};

TEST_P(WorkflowFailure, EndsFailedWithItsTextOneLongToneAndNothingAfterTheFault) {
    const auto& c = GetParam();
    this->*c.fault = base::Error{base::ErrorKind::NotFound, c.message};
    click_update_device();
    settle();
    EXPECT_EQ(failed_text(), c.failed_text);
    EXPECT_EQ(calls(), c.calls);
    drain_channel();
    EXPECT_EQ(sent.size(), c.reported ? 1u : 0u);
}

const std::string lookup = "find_record_by_tag 0 04:A1:7C:2B:5D:80:01 table";
const std::string join = "article_join_eui QZT410HoNO35-TB-P";
const std::string prepare = "prepare_firmware_file 144488 00 01 02 03 04 05 06 07 08 09 0a 0b 0c 0d 0e 0f";

INSTANTIATE_TEST_SUITE_P(
    EveryStep, WorkflowFailure,
    ::testing::Values(
        FailureCase{"TagRead",
                    &Workflow::tag_error,
                    "Cannot get an RFID",
                    "Cannot get an RFID",
                    {"read_tag_uid 60", "play_beeps 1 750 0"},
                    false},
        FailureCase{"Lookup",
                    &Workflow::lookup_error,
                    "Cannot find 04:A1:7C:2B:5D:80:01",
                    "Cannot find 04:A1:7C:2B:5D:80:01",
                    {"read_tag_uid 60", lookup, "play_beeps 1 750 0"},
                    false},
        FailureCase{"JoinEui",
                    &Workflow::join_error,
                    "Unsupported Revision",
                    "Unsupported Revision",
                    {"read_tag_uid 60", lookup, join, "play_beeps 1 750 0"},
                    false},
        FailureCase{"Probe",
                    &Workflow::probe_error,
                    "No debug probe",
                    "No debug probe",
                    {"read_tag_uid 60", lookup, join, "sleep 1000", "probe_device 0", "play_beeps 1 750 0"},
                    false},
        FailureCase{"Preparation",
                    &Workflow::prepare_error,
                    "\nExpected to make 1 key replacements\n",
                    "\nExpected to make 1 key replacements\n",
                    {"read_tag_uid 60", lookup, join, "sleep 1000", "probe_device 0", "remove_firmware_file",
                     prepare, "remove_firmware_file", "play_beeps 1 750 0"},
                    false},
        FailureCase{"Flashing",
                    &Workflow::flash_error,
                    "Error: Download verification failed",
                    "Error: Download verification failed",
                    {"read_tag_uid 60", lookup, join, "sleep 1000", "probe_device 0", "remove_firmware_file",
                     prepare, "flash_device 0 flash_me.bin", "remove_firmware_file", "play_beeps 1 750 0"},
                    false},
        FailureCase{
            "Listing",
            &Workflow::export_error,
            "No such file or directory (os error 2)",
            std::string(LISTING_FAILED) + "No such file or directory (os error 2)",
            {"read_tag_uid 60", lookup, join, "sleep 1000", "probe_device 0", "remove_firmware_file", prepare,
             "flash_device 0 flash_me.bin", "remove_firmware_file",
             "export_record 04:A1:7C:2B:5D:80:01 table QZT410HoNO35-TB-P-2.c reported", "play_beeps 1 750 0"},
            true}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(Workflow, DeviceNeverReady_FailsOnceSixtyWholeSecondsHavePassed) {
    ready_at_probe = 1000;
    click_update_device();
    settle();
    EXPECT_EQ(failed_text(), "Cannot detect device");
    EXPECT_EQ(probes, 60);
    EXPECT_EQ(now_.time_since_epoch(), seconds(60));
}

TEST_F(Workflow, DeviceReadyAtOnce_IsTakenAfterOneSecond) {
    click_update_device();
    settle();
    EXPECT_EQ(probes, 1);
    const Log c = calls();
    EXPECT_EQ(std::count(c.begin(), c.end(), "sleep 1000"), 1);
}

TEST_F(Workflow, ProbeRunningWhenTimeRunsOut_IsWaitedForAndItsReadyAnswerCounts) {
    probe_takes = seconds(30);
    ready_at_probe = 2;  // the second probe ends at 62 s
    click_update_device();
    settle();
    EXPECT_EQ(probes, 2);
    EXPECT_TRUE(state().is<FlashState::Succeeded>());
}

TEST_F(Workflow, SlowProbesNeverReady_StartNoProbeAfterTheSixtiethSecond) {
    probe_takes = seconds(30);
    ready_at_probe = 1000;
    click_update_device();
    settle();
    EXPECT_EQ(probes, 2);
    EXPECT_EQ(failed_text(), "Cannot detect device");
}

TEST_F(Workflow, CommandsAreTakenInAnyState_AndReenteringAStateRunsNoStep) {
    post(app::FLASHING_FAILED, std::string("first"));
    EXPECT_EQ(failed_text(), "first");
    post(app::FLASHING_FAILED, std::string("second"));
    EXPECT_EQ(failed_text(), "second");
    EXPECT_EQ(calls(), (Log{"play_beeps 1 750 0"}));

    tag_error = error("Cannot get an RFID");
    post(app::DETECT_RFID);
    // Out of Failed into DetectRfid and back: each entry runs its step once.
    EXPECT_EQ(calls(), (Log{"play_beeps 1 750 0", "read_tag_uid 60", "play_beeps 1 750 0"}));
    EXPECT_EQ(failed_text(), "Cannot get an RFID");
}

TEST_F(Workflow, CompleteCommandInIdle_SendsItsUidAndListsTheDevice) {
    post(app::FLASHING_COMPLETE, known_uid());
    EXPECT_TRUE(state().is<FlashState::Succeeded>());
    EXPECT_EQ(sent, (std::vector{known_uid()}));
}

TEST_F(Workflow, UnknownCommandReachesTheChildrenInOrder_WorkflowCommandsReachNone) {
    post("Something else");
    post(app::FLASHING_SUCCEEDED);
    Log received;
    for (const auto& line : log_)
        if (line.find(" gets ") != std::string::npos) received.push_back(line);
    EXPECT_EQ(received, (Log{"eui_entry gets Something else", "update_button gets Something else",
                             "ok_button gets Something else"}));
}

TEST_F(Workflow, SelectorMustMatchInLengthAndBytes) {
    post("Detect RFID ");
    post("detect RFID");
    EXPECT_TRUE(state().is<FlashState::Idle>());
    EXPECT_TRUE(calls().empty());
}

TEST_F(Workflow, PassWithoutAChangeThatCounts_PerformsNoStep) {
    build();
    host_->data().content.state = FlashState::Failed{"x"};
    host_->update_pass();
    host_->update_pass();
    host_->data().firmware_version = "2024.09.03.00";
    host_->update_pass();
    host_->data().content.state = FlashState::Failed{"y"};
    host_->update_pass();
    EXPECT_EQ(calls(), (Log{"play_beeps 1 750 0"}));
}

TEST_F(Workflow, OkAfterSuccess_ReturnsToIdleWithoutAStep) {
    click_update_device();
    settle();
    const auto before = calls().size();
    host_->data().content.state = FlashState::Idle{};
    host_->update_pass();
    settle();
    EXPECT_TRUE(state().is<FlashState::Idle>());
    EXPECT_EQ(calls().size(), before);
}

using WorkflowDeathTest = Workflow;

TEST_F(WorkflowDeathTest, WorkflowSelectorWithAPayloadOfAnotherType_StopsTheProgram) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_DEATH(post(app::INSTRUCT_PLUG_IN, std::string("not a record")), "wrong type");
}

// The real services on the real table, the stand-in programmer tool and a real day's CSV file in a
// working directory of its own; only the tag reader and the speaker are scripted.
class RealWorkflow : public Workflow {
  protected:
    RealWorkflow() : previous_(fs::current_path()) {
        fs::current_path(dir_.path());
        const app::WorkflowServices real;
        services_.find_record_by_tag = real.find_record_by_tag;
        services_.article_join_eui = real.article_join_eui;
        services_.remove_firmware_file = real.remove_firmware_file;
        services_.prepare_firmware_file = real.prepare_firmware_file;
        services_.export_record = real.export_record;
        services_.sleep = real.sleep;
        services_.now = real.now;
        services_.probe_device = [](common::DeviceKind kind) {
            return common::probe_device(kind, standin::TOOL);
        };
        services_.flash_device = [](common::DeviceKind kind, std::string_view path) {
            return common::flash_device(kind, path, standin::TOOL);
        };
    }
    ~RealWorkflow() override { fs::current_path(previous_); }

    standin::ScratchDir dir_;
    fs::path previous_;
};

TEST_F(RealWorkflow, KnownDevice_IsFlashedWithItsKeyListedInTheDaysFileAndReported) {
    const standin::Tool tool;
    ASSERT_TRUE(
        common::create_credentials_csv(common::DeviceKind::Valve, common::Customer::other("KORVEN GmbH")));
    const std::string csv_name = common::credentials_csv_name();
    const std::string header = standin::read_file(csv_name);

    click_update_device();
    settle();
    ASSERT_TRUE(state().is<FlashState::Succeeded>()) << failed_text();

    const std::string csv = standin::read_file(csv_name);
    ASSERT_EQ(csv.rfind(header, 0), 0u);
    const std::string row = csv.substr(header.size());
    EXPECT_EQ(std::count(row.begin(), row.end(), '\n'), 1);
    EXPECT_EQ(row.rfind("04:A1:7C:2B:5D:80:01;4b-4f-52-00-00-00-00-01;", 0), 0u) << row;
    EXPECT_NE(row.find(";QZT410HoNO35-TB-P;2.c;"), std::string::npos) << row;

    EXPECT_FALSE(fs::exists(fs::symlink_status(app::FIRMWARE_FILE)));
    const auto image = app::firmware_image();
    std::string expected(image.begin(), image.end());
    const auto& placeholder = app::PLACEHOLDER_KEY.bytes;
    const auto at = expected.find(std::string(placeholder.begin(), placeholder.end()));
    const auto key = table_record().app_key.bytes;
    expected.replace(at, key.size(), std::string(key.begin(), key.end()));
    EXPECT_TRUE(tool.flashed() == expected);
    drain_channel();
    EXPECT_EQ(sent, (std::vector{known_uid()}));
}

TEST_F(RealWorkflow, FlashingFails_LeavesNoWorkFileNoRowAndNoReport) {
    const standin::Tool tool;
    tool.scenario("flash=verify-fail\n");
    ASSERT_TRUE(
        common::create_credentials_csv(common::DeviceKind::Valve, common::Customer::other("KORVEN GmbH")));
    const std::string before = standin::read_file(common::credentials_csv_name());

    click_update_device();
    settle();
    ASSERT_TRUE(state().is<FlashState::Failed>());
    EXPECT_FALSE(fs::exists(fs::symlink_status(app::FIRMWARE_FILE)));
    EXPECT_EQ(standin::read_file(common::credentials_csv_name()), before);
    drain_channel();
    EXPECT_TRUE(sent.empty());
}

}  // namespace
