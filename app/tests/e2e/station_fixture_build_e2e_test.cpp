// A station program built from files of its own (a table, an image and a mail account other than the
// default ones) on the bench: what it looks up, flashes, lists and mails comes from those files.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "app/firmware_file.hpp"
#include "app/report_mail.hpp"
#include "bench.hpp"
#include "common/article.hpp"
#include "common/credentials_csv.hpp"
#include "common/key.hpp"
#include "common/local_date.hpp"
#include "common/release.hpp"
#include "fixtures/smtps_server.hpp"
#include "pcscd.hpp"
#include "rfid/tag_uid.hpp"
#include "standin_fixture.hpp"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

constexpr std::string_view TARGET = "QZT410HoNO35-TB-P-2.c";
// The second line of the fixture table, so that the lookup is seen to pass the first.
constexpr std::string_view DEVICE_TAG = "04:F1:C5:00:00:00:02";
constexpr std::string_view DEVICE_KEY = "f2 f2 f2 f2 b0 b1 b2 b3 b4 b5 b6 b7 b8 b9 ba bb";

rfid::TagUid uid(std::string_view text) { return rfid::TagUid::from_str(text).value(); }
common::ArticleRevision target() { return common::parse_article_revision(TARGET).value(); }

std::map<std::string, std::string> read_account(const fs::path& path) {
    std::map<std::string, std::string> account;
    std::istringstream lines(bench::read_file(path));
    for (std::string line; std::getline(lines, line);) {
        const auto eq = line.find('=');
        if (line.empty() || line.front() == '#' || eq == std::string::npos) continue;
        account[line.substr(0, eq)] = line.substr(eq + 1);
    }
    return account;
}

std::string expected_image() {
    std::string bytes = bench::read_file(FIXTURE_IMAGE);
    const std::string placeholder(app::PLACEHOLDER_KEY.bytes.begin(), app::PLACEHOLDER_KEY.bytes.end());
    const auto key = common::AppKey::from_str(DEVICE_KEY).value();
    const auto at = bytes.find(placeholder);
    if (at != std::string::npos)
        bytes.replace(at, placeholder.size(), std::string(key.bytes.begin(), key.bytes.end()));
    return bytes;
}

std::string expected_day_file() {
    const standin::ScratchDir scratch;
    const fs::path back = fs::current_path();
    fs::current_path(scratch.path());
    const std::string table = bench::read_file(FIXTURE_TABLE);
    EXPECT_TRUE(common::create_credentials_csv(common::device_kind(target().article),
                                               common::Customer::other(FIXTURE_CUSTOMER)));
    EXPECT_TRUE(common::export_record(uid(DEVICE_TAG), table, target()));
    const std::string bytes = bench::read_file(common::credentials_csv_name());
    fs::current_path(back);
    return bytes;
}

TEST(StationBuiltFromFixtureFiles, UpdatesADeviceOfItsTableWithItsImageAndMailsItsAccount) {
    const fs::path logs = fs::path(STATION_E2E_LOG_DIR) / "StationBuiltFromFixtureFiles";
    fs::remove_all(logs);
    fs::create_directories(logs / "relay");
    const standin::ScratchDir work;
    standin::Tool tool;
    const bench::XServer x(logs);
    auto pcscd = rfid_test::Pcscd::start((logs / "pcscd.log").string());
    ASSERT_TRUE(pcscd) << pcscd.error().message;

    auto account = read_account(FIXTURE_MAIL_ACCOUNT);
    const fs::path tls(bench::TLS_DIR);
    fixtures::SmtpsServer relay(logs / "relay", fixtures::SmtpsServerOptions{.cert = tls / "server.crt",
                                                                             .key = tls / "server.key",
                                                                             .user = account["SENDER"],
                                                                             .password = account["PASSWORD"],
                                                                             .port = bench::MAIL_PORT});

    bench::Station station(work.path(), logs, bench::Station::Workdir::Normal, FIXTURE_PROGRAM);
    const auto idle = station.wait_for("Update Device");
    EXPECT_TRUE(idle.shows("Caldrinex Firmware Update Tool for " + std::string(FIXTURE_CUSTOMER)))
        << idle.text();

    auto tag = rfid_test::VirtualTag::lay_on(0, bench::uid_reply(DEVICE_TAG), (logs / "tag.log").string());
    ASSERT_TRUE(tag) << tag.error().message;
    station.click("Update Device");
    const auto done = station.wait_for("Flashing complete!", 30s);
    ASSERT_TRUE(done.shows("Flashing complete!")) << done.text();
    EXPECT_TRUE(tool.flashed() == expected_image()) << "the tool got another image than the fixture's";
    EXPECT_EQ(bench::read_file(work.path() / common::credentials_csv_name()), expected_day_file());

    station.click("OK");
    (void)station.wait_for("Update Device");
    station.close();
    EXPECT_EQ(station.wait_exit(20s), std::optional<int>(0));
    const auto mails = relay.messages();
    ASSERT_EQ(mails.size(), 1U);
    EXPECT_EQ(mails[0].login, account["SENDER"]);
    EXPECT_EQ(mails[0].rcpt_tos, std::vector<std::string>{account["RECIPIENT"]});
    std::string body = mails[0].body;
    std::erase(body, '\r');
    const auto release = common::firmware_release_for(target()).value();
    EXPECT_EQ(body, app::compose_report_body(FIXTURE_CUSTOMER, target(), release,
                                             std::vector{uid(DEVICE_TAG)}, common::local_date()));
}

}  // namespace
