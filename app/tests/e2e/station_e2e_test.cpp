// The built program on the bench, as an operator meets it: the texts and colours are read back from
// screenshots of its window, the results from its working directory, the relay's store and the
// programmer stand-in's record.

#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "app/firmware_file.hpp"
#include "app/report_mail.hpp"
#include "bench.hpp"
#include "common/article.hpp"
#include "common/credential_table.hpp"
#include "common/credentials_csv.hpp"
#include "common/key.hpp"
#include "common/local_date.hpp"
#include "common/release.hpp"
#include "common_tests/known_devices.hpp"
#include "embedded/firmware_image.hpp"
#include "fixtures/smtps_server.hpp"
#include "pcscd.hpp"
#include "rfid/tag_uid.hpp"
#include "standin_fixture.hpp"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using bench::Station;

constexpr std::string_view CUSTOMER = "KORVEN GmbH";
constexpr std::string_view TARGET = "QZT410HoNO35-TB-P-2.c";
constexpr std::string_view COVER_TEXT = "Please place the device cover on the RFID reader.";
// The line is wider than the panel's view; its end lies beyond the right edge until scrolled to.
constexpr std::string_view PLUG_IN_TEXT = "Please plug in the USB, then press and hold the device";
constexpr std::string_view FLASHING_TEXT = "Flashing...";
constexpr std::string_view SUCCESS_TEXT = "Flashing complete!";
constexpr std::string_view FAILED_TEXT = "Flashing failed.";

const common_tests::KnownDevice& DEVICE_A = common_tests::KNOWN_DEVICES[0];
const common_tests::KnownDevice& DEVICE_B = common_tests::KNOWN_DEVICES[1];

rfid::TagUid uid(std::string_view text) { return rfid::TagUid::from_str(text).value(); }

common::ArticleRevision target() { return common::parse_article_revision(TARGET).value(); }

std::string lf_line_ends(std::string text) {
    std::erase(text, '\r');
    return text;
}

// What the day's file holds after the program created it on a fresh day and listed these devices,
// made by the same library calls in a scratch directory.
std::string expected_day_file(const std::vector<std::string_view>& uids) {
    const standin::ScratchDir scratch;
    const fs::path back = fs::current_path();
    fs::current_path(scratch.path());
    const auto kind = common::device_kind(target().article);
    // One date for every call, so that local midnight cannot fall between them.
    const std::string day = common::local_date();
    const common::DateSource today = [&] { return day; };
    EXPECT_TRUE(common::create_credentials_csv(kind, common::Customer::other(std::string(CUSTOMER)), today));
    for (const auto text : uids)
        EXPECT_TRUE(common::export_record(uid(text), common::credential_table(), target(), today));
    const std::string bytes = bench::read_file(common::credentials_csv_name(today));
    fs::current_path(back);
    return bytes;
}

std::string expected_mail_body(const std::vector<std::string_view>& uids,
                               const std::string& day = common::local_date()) {
    std::vector<rfid::TagUid> tags;
    for (const auto text : uids) tags.push_back(uid(text));
    const auto release = common::firmware_release_for(target()).value();
    return app::compose_report_body(CUSTOMER, target(), release, tags, day);
}

// The firmware image as the device must receive it: the placeholder key replaced by its own.
std::string expected_image(const common_tests::KnownDevice& device) {
    const auto image = app::firmware_image();
    std::string bytes(image.begin(), image.end());
    const std::string placeholder(app::PLACEHOLDER_KEY.bytes.begin(), app::PLACEHOLDER_KEY.bytes.end());
    const auto key = common::AppKey::from_str(device.app_key).value();
    const auto at = bytes.find(placeholder);
    if (at != std::string::npos)
        bytes.replace(at, placeholder.size(), std::string(key.bytes.begin(), key.bytes.end()));
    return bytes;
}

class StationOnBench : public testing::Test {
  protected:
    void SetUp() override {
        const auto* info = testing::UnitTest::GetInstance()->current_test_info();
        std::string name = std::string(info->test_suite_name()) + "." + info->name();
        std::replace(name.begin(), name.end(), '/', '_');
        logs_ = fs::path(STATION_E2E_LOG_DIR) / name;
        fs::remove_all(logs_);
        fs::create_directories(logs_);
        x_.emplace(logs_);
        first_day_ = common::local_date();
        auto pcscd = rfid_test::Pcscd::start((logs_ / "pcscd.log").string());
        ASSERT_TRUE(pcscd) << pcscd.error().message;
        pcscd_.emplace(std::move(*pcscd));
    }

    void start_relay() {
        fs::create_directories(logs_ / "relay");
        const fs::path tls(bench::TLS_DIR);
        relay_.emplace(logs_ / "relay",
                       fixtures::SmtpsServerOptions{.cert = tls / "server.crt",
                                                    .key = tls / "server.key",
                                                    .user = std::string(bench::MAIL_SENDER),
                                                    .password = std::string(bench::MAIL_PASSWORD),
                                                    .port = bench::MAIL_PORT});
    }

    void lay_on(std::string_view tag_uid) {
        auto tag = rfid_test::VirtualTag::lay_on(0, bench::uid_reply(tag_uid), (logs_ / "tag.log").string());
        ASSERT_TRUE(tag) << tag.error().message;
        tag_.emplace(std::move(*tag));
    }

    void take_off() {
        if (!tag_) return;
        ASSERT_TRUE(tag_->take_off());
        tag_.reset();
    }

    Station& start(Station::Workdir kind = Station::Workdir::Normal) {
        first_day_ = common::local_date();
        station_.emplace(work_.path(), logs_, kind);
        return *station_;
    }

    // One whole update with the tag already on the reader, up to the acknowledged success.
    void update_device(std::string_view tag_uid) {
        lay_on(tag_uid);
        station_->click("Update Device");
        const auto done = station_->wait_for(SUCCESS_TEXT, 30s);
        ASSERT_TRUE(done.shows(SUCCESS_TEXT)) << done.text();
        take_off();
        station_->click("OK");
        const auto idle = station_->wait_for("Update Device");
        ASSERT_TRUE(idle.shows("Update Device")) << idle.text();
    }

    // Closes the window and returns the exit code; fails when the program outlives the window by more
    // than `within` (the drain and a mail on loopback take a fraction of a second).
    int close_and_wait(std::chrono::seconds within = 20s) {
        station_->close();
        const auto code = station_->wait_exit(within);
        EXPECT_TRUE(code.has_value()) << "the station still runs after its window was closed";
        return code.value_or(-1);
    }

    // The day file the program made at its start, named by the date then: the day the test started
    // it, or the next one when local midnight passed in between.
    [[nodiscard]] fs::path day_file() const {
        const fs::path first = work_.path() / common::credentials_csv_name([this] { return first_day_; });
        return fs::exists(first) ? first : work_.path() / common::credentials_csv_name();
    }
    // The mail is dated when the program sends it: the day it was started, or a later one when the run
    // went past local midnight.
    void expect_mail_body(const std::string& body, const std::vector<std::string_view>& uids) const {
        const std::string sent = lf_line_ends(body);
        if (sent == expected_mail_body(uids, first_day_)) return;
        EXPECT_EQ(sent, expected_mail_body(uids));
    }
    [[nodiscard]] std::vector<fixtures::ReceivedMessage> mails() const { return relay_->messages(); }

    fs::path logs_;
    std::string first_day_;
    standin::ScratchDir work_;
    standin::Tool tool_;
    std::optional<bench::XServer> x_;
    std::optional<rfid_test::Pcscd> pcscd_;
    std::optional<rfid_test::VirtualTag> tag_;
    std::optional<fixtures::SmtpsServer> relay_;
    std::optional<Station> station_;
};

TEST_F(StationOnBench, FullUpdate_ShowsEachStepAndListsMailsAndFlashesTheDevice) {
    start_relay();
    // Ready only at the fourth probe, so that the plug-in text stays up a few seconds; the write takes
    // as long as a real download.
    tool_.scenario("not_ready=3\nflash_ms=3000\n");
    Station& station = start();

    const auto idle = station.wait_for("Update Device");
    ASSERT_TRUE(idle.shows("Update Device")) << idle.text();
    EXPECT_TRUE(idle.shows("Caldrinex Firmware Update Tool for KORVEN GmbH")) << idle.text();
    EXPECT_TRUE(fs::exists(day_file()));

    // No tag yet: the reader waits, and the operator reads where to put the cover.
    station.click("Update Device");
    const auto cover = station.wait_for(COVER_TEXT);
    EXPECT_TRUE(cover.shows_in(COVER_TEXT, bench::WHITE)) << cover.text();
    lay_on(DEVICE_A.tag_uid);

    const auto plug_in = station.wait_for(PLUG_IN_TEXT);
    EXPECT_TRUE(plug_in.shows_in(PLUG_IN_TEXT, bench::WHITE)) << plug_in.text();
    EXPECT_TRUE(plug_in.shows("RFID " + std::string(DEVICE_A.tag_uid))) << plug_in.text();
    EXPECT_TRUE(plug_in.shows_in("Once plugged in, please leave the USB plugged in!", bench::YELLOW))
        << plug_in.text();

    const auto flashing = station.wait_for(FLASHING_TEXT);
    EXPECT_TRUE(flashing.shows_in(FLASHING_TEXT, bench::WHITE)) << flashing.text();
    EXPECT_TRUE(flashing.shows("Thank you, you can now release the device button.")) << flashing.text();
    EXPECT_TRUE(flashing.shows_in("Please leave the USB plugged in!", bench::YELLOW)) << flashing.text();

    const auto done = station.wait_for(SUCCESS_TEXT, 30s);
    EXPECT_TRUE(done.shows_in(SUCCESS_TEXT, bench::GREEN)) << done.text();
    EXPECT_TRUE(done.shows_in("Please unplug the USB and replace the matching lid.", bench::YELLOW))
        << done.text();
    EXPECT_FALSE(done.shows("Update Device")) << done.text();
    // OK comes once the tones have played.
    const auto acknowledge = station.wait_for("OK");
    EXPECT_TRUE(acknowledge.shows("OK")) << acknowledge.text();

    EXPECT_EQ(bench::read_file(day_file()), expected_day_file({DEVICE_A.tag_uid}));
    EXPECT_FALSE(fs::exists(work_.path() / app::FIRMWARE_FILE));
    EXPECT_TRUE(tool_.flashed() == expected_image(DEVICE_A)) << "the tool got another image";
    EXPECT_TRUE(mails().empty()) << "mail is sent only when the window closes";

    station.click("OK");
    const auto again = station.wait_until_gone(SUCCESS_TEXT);
    EXPECT_TRUE(again.shows("Update Device")) << again.text();
    EXPECT_FALSE(again.shows("OK")) << again.text();

    EXPECT_EQ(close_and_wait(), 0);
    const auto sent = mails();
    ASSERT_EQ(sent.size(), 1U);
    expect_mail_body(sent[0].body, {DEVICE_A.tag_uid});
}

TEST_F(StationOnBench, DeviceUpdatedTwice_IsMailedOnceInOrderOfFirstUpdate) {
    start_relay();
    start();
    update_device(DEVICE_A.tag_uid);
    update_device(DEVICE_B.tag_uid);
    update_device(DEVICE_A.tag_uid);

    EXPECT_EQ(bench::read_file(day_file()),
              expected_day_file({DEVICE_A.tag_uid, DEVICE_B.tag_uid, DEVICE_A.tag_uid}));
    EXPECT_EQ(close_and_wait(), 0);
    const auto sent = mails();
    ASSERT_EQ(sent.size(), 1U);
    expect_mail_body(sent[0].body, {DEVICE_A.tag_uid, DEVICE_B.tag_uid});
}

// A failed update shows its reason in red under the failure line, writes and mails nothing, and OK
// leads back to the idle view.
struct FailureCase {
    const char* name;
    std::string_view tag_uid;
    const char* scenario;
    std::string_view reason;  // the start of the text the operator reads
    bool flashed;

    friend void PrintTo(const FailureCase& c, std::ostream* out) { *out << c.name; }
};

class StationFailure : public StationOnBench, public testing::WithParamInterface<FailureCase> {};

TEST_P(StationFailure, ShowsTheReasonInRedAndListsNothing) {
    const FailureCase& c = GetParam();
    start_relay();
    tool_.scenario(c.scenario);
    start();
    lay_on(c.tag_uid);
    station_->click("Update Device");

    // The never-ready device takes the real 60 s of polling. The failure text is painted before the
    // long tone and OK only after it, so the screen that counts is the one with both.
    const auto failed = station_->wait_until(
        [](const bench::Screen& screen) { return screen.shows(FAILED_TEXT) && screen.shows("OK"); }, 90s);
    EXPECT_TRUE(failed.shows_in(FAILED_TEXT, bench::RED)) << failed.text();
    EXPECT_TRUE(failed.shows_in(c.reason, bench::RED)) << failed.text();
    EXPECT_TRUE(failed.shows("OK")) << failed.text();
    EXPECT_EQ(tool_.has_flashed(), c.flashed);
    EXPECT_FALSE(fs::exists(work_.path() / app::FIRMWARE_FILE));
    EXPECT_EQ(bench::read_file(day_file()), expected_day_file({}));

    station_->click("OK");
    const auto idle = station_->wait_until_gone(FAILED_TEXT);
    EXPECT_TRUE(idle.shows("Update Device")) << idle.text();
    EXPECT_EQ(close_and_wait(), 0);
    EXPECT_TRUE(mails().empty());
}

INSTANTIATE_TEST_SUITE_P(Cases, StationFailure,
                         testing::Values(FailureCase{"UnknownTag", common_tests::UNKNOWN_TAG_UID, "",
                                                     "Cannot find 04:FF:FF:FF:FF:FF:FF", false},
                                         FailureCase{"DeviceNeverReady", DEVICE_A.tag_uid, "not_ready=1000\n",
                                                     "Cannot detect device", false},
                                         FailureCase{"VerifyFails", DEVICE_A.tag_uid, "flash=verify-fail\n",
                                                     "Failed to flash:", true}),
                         [](const testing::TestParamInfo<FailureCase>& info) {
                             return std::string(info.param.name);
                         });

TEST_F(StationOnBench, DayFileDeletedWhileRunning_SaysFlashingSucceededButAndStillMailsTheDevice) {
    start_relay();
    start();
    const auto idle = station_->wait_for("Update Device");
    ASSERT_TRUE(idle.shows("Update Device")) << idle.text();
    ASSERT_TRUE(fs::remove(day_file()));
    lay_on(DEVICE_A.tag_uid);
    station_->click("Update Device");

    const auto failed = station_->wait_for(FAILED_TEXT, 30s);
    // The lines run on beyond the panel's view; their starts and the system's reason are in sight.
    EXPECT_TRUE(failed.shows_in("Flashing succeeded, but application failed to list device", bench::RED))
        << failed.text();
    EXPECT_TRUE(failed.shows("Please unplug the USB and replace the matching device")) << failed.text();
    EXPECT_TRUE(failed.shows_in("No such file or directory (os error 2)", bench::RED)) << failed.text();
    EXPECT_TRUE(tool_.has_flashed());
    EXPECT_FALSE(fs::exists(day_file()));

    EXPECT_EQ(close_and_wait(), 0);
    const auto sent = mails();
    ASSERT_EQ(sent.size(), 1U);
    expect_mail_body(sent[0].body, {DEVICE_A.tag_uid});
}

TEST_F(StationOnBench, ReadOnlyWorkingDirectory_ShowsOnlyTheRedErrorAndEndsWithoutMail) {
    start_relay();
    start(Station::Workdir::ReadOnly);
    // The system's own text, whichever way the directory refused the file.
    const auto error = station_->wait_until([](const bench::Screen& screen) {
        return screen.shows("Read-only file system") || screen.shows("No such file or directory");
    });
    EXPECT_TRUE(error.shows_in("Read-only file system", bench::RED) ||
                error.shows_in("No such file or directory", bench::RED))
        << error.text();
    EXPECT_FALSE(error.shows("Update Device")) << error.text();
    EXPECT_EQ(close_and_wait(), 0);
    EXPECT_TRUE(mails().empty());
}

TEST_F(StationOnBench, MailRelayDown_ProgramStillEndsWithZeroAtOnce) {
    // No relay on the port: the connection is refused, and the program must not wait for a time-out.
    start();
    update_device(DEVICE_A.tag_uid);
    EXPECT_EQ(close_and_wait(10s), 0);
}

TEST_F(StationOnBench, ExistingDayFile_StaysByteForByte) {
    start_relay();
    const std::string earlier = "written by an earlier run;\nkept as it is\n";
    bench::write_file(day_file(), earlier);
    start();
    const auto idle = station_->wait_for("Update Device");
    EXPECT_TRUE(idle.shows("Update Device")) << idle.text();
    EXPECT_EQ(close_and_wait(), 0);
    EXPECT_EQ(bench::read_file(day_file()), earlier);
    EXPECT_TRUE(mails().empty());
}

// A signal that asks the program to end (a terminal's interrupt or hang-up, a log-off, a service
// manager's stop) is the window's close: the mail goes out and the exit code is 0.
struct StopSignalCase {
    const char* name;
    int signal;

    friend void PrintTo(const StopSignalCase& c, std::ostream* out) { *out << c.name; }
};

class StationStopSignal : public StationOnBench, public testing::WithParamInterface<StopSignalCase> {};

TEST_P(StationStopSignal, WhileIdleAfterAnUpdate_MailsTheDeviceAndEndsWithZero) {
    start_relay();
    start();
    update_device(DEVICE_A.tag_uid);
    ASSERT_EQ(kill(station_->pid(), GetParam().signal), 0);
    EXPECT_EQ(station_->wait_exit(20s), 0);
    const auto sent = mails();
    ASSERT_EQ(sent.size(), 1U);
    EXPECT_EQ(lf_line_ends(sent[0].body), expected_mail_body({DEVICE_A.tag_uid}));
}

INSTANTIATE_TEST_SUITE_P(Signals, StationStopSignal,
                         testing::Values(StopSignalCase{"Terminate", SIGTERM},
                                         StopSignalCase{"Interrupt", SIGINT},
                                         StopSignalCase{"HangUp", SIGHUP}),
                         [](const testing::TestParamInfo<StopSignalCase>& info) {
                             return std::string(info.param.name);
                         });

TEST_F(StationOnBench, TerminatedWhileFlashing_FinishesTheDeviceListsAndMailsItWithTheOneBefore) {
    start_relay();
    // The write takes long enough for the signal to come while the tool runs.
    tool_.scenario("flash_ms=4000\n");
    start();
    update_device(DEVICE_B.tag_uid);
    lay_on(DEVICE_A.tag_uid);
    station_->click("Update Device");
    const auto flashing = station_->wait_for(FLASHING_TEXT);
    ASSERT_TRUE(flashing.shows(FLASHING_TEXT)) << flashing.text();
    ASSERT_EQ(kill(station_->pid(), SIGTERM), 0);

    EXPECT_EQ(station_->wait_exit(30s), 0);
    EXPECT_TRUE(tool_.flashed() == expected_image(DEVICE_A)) << "the tool got another image";
    EXPECT_EQ(bench::read_file(day_file()), expected_day_file({DEVICE_B.tag_uid, DEVICE_A.tag_uid}));
    EXPECT_FALSE(fs::exists(work_.path() / app::FIRMWARE_FILE));
    const auto sent = mails();
    ASSERT_EQ(sent.size(), 1U);
    EXPECT_EQ(lf_line_ends(sent[0].body), expected_mail_body({DEVICE_B.tag_uid, DEVICE_A.tag_uid}));
}

TEST_F(StationOnBench, WorkFileLeftByAKilledRun_IsGoneWhenTheWindowIsUp) {
    start_relay();
    bench::write_file(work_.path() / app::FIRMWARE_FILE, "an image with a device's key");
    start();
    EXPECT_FALSE(fs::exists(work_.path() / app::FIRMWARE_FILE));
    const auto idle = station_->wait_for("Update Device");
    EXPECT_TRUE(idle.shows("Update Device")) << idle.text();
    EXPECT_EQ(close_and_wait(), 0);
    EXPECT_TRUE(mails().empty());
}

// Qt ends the program when the X server goes away (the end of a session): what was flashed until then
// is still mailed, though the exit code is Qt's.
TEST_F(StationOnBench, XServerGoneAfterAnUpdate_EndsWithQtsOneAndStillMailsTheDevice) {
    start_relay();
    start();
    update_device(DEVICE_A.tag_uid);
    x_->stop();
    EXPECT_EQ(station_->wait_exit(20s), 1);
    EXPECT_NE(bench::read_file(logs_ / "station.log").find("The X11 connection broke"), std::string::npos);
    const auto sent = mails();
    ASSERT_EQ(sent.size(), 1U);
    EXPECT_EQ(lf_line_ends(sent[0].body), expected_mail_body({DEVICE_A.tag_uid}));
}

}  // namespace
