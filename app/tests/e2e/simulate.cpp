// A simulated station for trying the program without hardware: the bench build in a window, a
// virtual tag of a known device on the virtual reader, a programmer stand-in that finds the device at
// the third probe, and a mail relay on loopback that keeps what it receives. With a display of your
// own you drive the window; without one it runs under Xvfb and updates the device by itself.

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <iostream>
#include <optional>
#include <stdexcept>
#include <string>

#include "app/report_mail.hpp"
#include "bench.hpp"
#include "common/credentials_csv.hpp"
#include "common_tests/known_devices.hpp"
#include "fixtures/smtps_server.hpp"
#include "pcscd.hpp"
#include "rfid/tag_uid.hpp"
#include "standin_fixture.hpp"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

bool own_display() {
    const char* display = std::getenv("DISPLAY");
    return display != nullptr && *display != '\0' && bench::run({"xdpyinfo"}).status == 0;
}

fs::path fresh_run_dir() {
    const std::time_t now = std::time(nullptr);
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", std::localtime(&now));
    const fs::path dir = fs::path(STATION_SIMULATE_DIR) / stamp;
    fs::create_directories(dir / "station");
    fs::create_directories(dir / "logs");
    fs::create_directories(dir / "relay");
    return dir;
}

int simulate() {
    const fs::path dir = fresh_run_dir();
    const fs::path logs = dir / "logs";
    const auto& device = common_tests::KNOWN_DEVICES[0];

    const bool drive_myself = !own_display();
    std::optional<bench::XServer> xvfb;
    if (drive_myself) xvfb.emplace(logs);

    auto pcscd = rfid_test::Pcscd::start((logs / "pcscd.log").string());
    if (!pcscd) throw std::runtime_error("pcscd: " + pcscd.error().message);
    const auto uid = rfid::TagUid::from_str(device.tag_uid).value();
    std::vector<std::uint8_t> reply(uid.bytes.begin(), uid.bytes.end());
    reply.push_back(0x90);
    reply.push_back(0x00);
    auto tag = rfid_test::VirtualTag::lay_on(0, reply, (logs / "tag.log").string());
    if (!tag) throw std::runtime_error("virtual tag: " + tag.error().message);

    standin::Tool tool;
    tool.scenario("not_ready=2\nflash_ms=1500\n");
    const fs::path tls(bench::TLS_DIR);
    const fixtures::SmtpsServer relay(dir / "relay", {.cert = tls / "server.crt",
                                                      .key = tls / "server.key",
                                                      .user = std::string(bench::MAIL_SENDER),
                                                      .password = std::string(bench::MAIL_PASSWORD),
                                                      .port = bench::MAIL_PORT});

    std::cout << "The station is open with the tag of " << device.tag_uid << " (" << device.article
              << ") on the virtual reader.\n";
    bench::Station station(dir / "station", logs);
    if (drive_myself) {
        std::cout << "No display of your own: running under Xvfb and pressing the buttons myself.\n";
        station.click("Update Device");
        const auto done = station.wait_for("Flashing complete!", 60s);
        std::cout << "Screenshot after the update: " << done.png.string() << "\n";
        station.click("OK");
        (void)station.wait_until_gone("Flashing complete!");
        station.close();
    } else {
        std::cout << "Press \"Update Device\" in the window, follow it, then close the window.\n";
    }
    const auto code = station.wait_exit(24h);
    (void)tag->take_off();
    pcscd->stop();

    std::cout << "\nThe station ended with exit code " << code.value_or(-1) << ".\n";
    std::cout << "Day's CSV file:   " << (dir / "station" / common::credentials_csv_name()).string() << "\n";
    const auto mails = relay.messages();
    if (mails.empty()) {
        std::cout << "Received mail:    none (no device was updated)\n";
    } else {
        std::cout << "Received mail:    " << (dir / "relay" / "store" / "msg-1" / "raw").string()
                  << " (its text: " << (dir / "relay" / "store" / "msg-1" / "body").string() << ")\n";
    }
    std::error_code ignored;
    if (fs::copy_file(tool.dir() / "calls", logs / "programmer_calls", ignored))
        std::cout << "Programmer calls: " << (logs / "programmer_calls").string() << "\n";
    std::cout << "Logs:             " << logs.string() << "\n";
    return code.value_or(1);
}

}  // namespace

int main() {
    // Each line as it happens, also when the output goes to a pipe.
    std::cout << std::unitbuf;
    try {
        return simulate();
    } catch (const std::exception& error) {
        std::cerr << "simulate: " << error.what() << "\n";
        return 1;
    }
}
