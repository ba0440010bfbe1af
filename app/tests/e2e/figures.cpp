// The station's figures on the bench, side by side with a bare Qt Widgets window on the same X
// server: start-up to the first painted frame, peak memory, window close to process exit with a mail
// to send, the workflow's own time per device, and a soak of 100 devices. Prints the figures and their
// ratios; it is a benchmark, not a test, and fails only when the bench itself cannot run.

#include <sys/types.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "app/report_mail.hpp"
#include "bench.hpp"
#include "common/article.hpp"
#include "common/credential_table.hpp"
#include "common/credentials_csv.hpp"
#include "common/lookup.hpp"
#include "common_tests/known_devices.hpp"
#include "fixtures/smtps_server.hpp"
#include "pcscd.hpp"
#include "rfid/tag_uid.hpp"
#include "standin_fixture.hpp"
#include "xprobe.hpp"

namespace {

namespace fs = std::filesystem;
using bench::Clock;
using namespace std::chrono_literals;

constexpr int RUNS = 5;
constexpr int OVERHEAD_DEVICES = 7;
constexpr int SOAK_DEVICES = 100;
constexpr int SOAK_STEADY_FROM = 10;
constexpr auto PROBE_WAIT = 1s;  // the workflow sleeps this long before the first probe

constexpr std::string_view TARGET = "QZT410HoNO35-TB-P-2.c";

double ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const auto n = values.size();
    return n % 2 == 1 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

long proc_status_kb(pid_t pid, const std::string& key) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(in, line);) {
        if (line.rfind(key + ":", 0) == 0) return std::stol(line.substr(key.size() + 1));
    }
    return -1;
}

long open_fds(pid_t pid) {
    long n = 0;
    for ([[maybe_unused]] const auto& entry : fs::directory_iterator("/proc/" + std::to_string(pid) + "/fd"))
        ++n;
    return n;
}

struct StartFigures {
    double first_frame_ms;
    double peak_rss_kb;
    double close_to_exit_ms;
};

// Starts a program, times it to its first painted frame, lets it settle, reads its peak resident
// memory and times a window close to its exit.
StartFigures start_and_close(XProbe& x, const std::vector<std::string>& argv, const fs::path& cwd,
                             const fs::path& log) {
    const auto t0 = Clock::now();
    bench::Child child(argv, log, cwd);
    std::optional<XProbe::Window> window;
    for (;;) {
        if (!child.running()) throw std::runtime_error(argv[0] + " ended at start-up");
        if (!window) window = x.window_of(child.pid());
        if (window && x.painted(*window)) break;
        if (Clock::now() - t0 > 30s) throw std::runtime_error(argv[0] + " painted nothing");
        std::this_thread::sleep_for(500us);
    }
    const double first_frame = ms(Clock::now() - t0);
    std::this_thread::sleep_for(1s);
    const double peak = static_cast<double>(proc_status_kb(child.pid(), "VmHWM"));
    std::ostringstream id;
    id << "0x" << std::hex << *window;
    const auto t1 = Clock::now();
    bench::run({"wmctrl", "-i", "-c", id.str()});
    if (!child.wait_exit(60s)) throw std::runtime_error(argv[0] + " did not end after its window closed");
    return {first_frame, peak, ms(Clock::now() - t1)};
}

std::vector<std::uint8_t> uid_reply(const rfid::TagUid& uid) {
    std::vector<std::uint8_t> reply(uid.bytes.begin(), uid.bytes.end());
    reply.push_back(0x90);
    reply.push_back(0x00);
    return reply;
}

// Devices of the built-in table that the station updates and lists with a row of their own.
std::vector<rfid::TagUid> listable_devices(std::size_t count) {
    const auto target = common::parse_article_revision(TARGET).value();
    const auto kind = common::device_kind(target.article);
    const standin::ScratchDir scratch;
    const fs::path back = fs::current_path();
    fs::current_path(scratch.path());
    (void)common::create_credentials_csv(kind, common::Customer::other("KORVEN GmbH"));
    std::vector<rfid::TagUid> found;
    std::istringstream table{std::string(common::credential_table())};
    std::size_t rows = 0;
    for (std::string line; found.size() < count && std::getline(table, line);) {
        const auto uid = rfid::TagUid::from_str(line.substr(0, line.find(';')));
        if (!uid || !common::find_record_by_tag(kind, *uid, common::credential_table())) continue;
        if (!common::export_record(*uid, common::credential_table(), target)) continue;
        const std::string file = bench::read_file(common::credentials_csv_name());
        const auto now_rows = static_cast<std::size_t>(std::count(file.begin(), file.end(), '\n'));
        if (now_rows > rows) found.push_back(*uid);
        rows = now_rows;
    }
    fs::current_path(back);
    return found;
}

// The bench with its peers, for one run of the station after another.
class Bench {
  public:
    explicit Bench(const fs::path& logs) : logs_(logs), x_(logs) {
        auto pcscd = rfid_test::Pcscd::start((logs / "pcscd.log").string());
        if (!pcscd) throw std::runtime_error(pcscd.error().message);
        pcscd_.emplace(std::move(*pcscd));
        tool_.scenario("");
        fs::create_directories(logs / "relay");
        const fs::path tls(bench::TLS_DIR);
        relay_.emplace(logs / "relay",
                       fixtures::SmtpsServerOptions{.cert = tls / "server.crt",
                                                    .key = tls / "server.key",
                                                    .user = std::string(bench::MAIL_SENDER),
                                                    .password = std::string(bench::MAIL_PASSWORD),
                                                    .port = bench::MAIL_PORT});
    }

    void lay_on(const rfid::TagUid& uid) {
        take_off();
        auto tag = rfid_test::VirtualTag::lay_on(0, uid_reply(uid), (logs_ / "tag.log").string());
        if (!tag) throw std::runtime_error(tag.error().message);
        tag_.emplace(std::move(*tag));
    }
    void take_off() {
        if (tag_) (void)tag_->take_off();
        tag_.reset();
    }

    [[nodiscard]] const fs::path& logs() const { return logs_; }
    [[nodiscard]] std::vector<fixtures::ReceivedMessage> mails() const { return relay_->messages(); }

  private:
    fs::path logs_;
    standin::Tool tool_;
    bench::XServer x_;
    std::optional<rfid_test::Pcscd> pcscd_;
    std::optional<rfid_test::VirtualTag> tag_;
    std::optional<fixtures::SmtpsServer> relay_;
};

// Drives one station run device by device: clicks found once by OCR, the success line by its green.
class Operator {
  public:
    Operator(Bench& bench, XProbe& x, const fs::path& workdir)
        : bench_(bench), x_(x), station_(workdir, bench.logs()) {
        const auto idle = station_.wait_for("Update Device");
        update_ = idle.find("Update Device");
        if (!update_) throw std::runtime_error("no \"Update Device\" on " + idle.png.string());
        window_ = std::stoul(station_.window());
    }

    // One update from the click to the painted success line; returns that time.
    Clock::duration update(const rfid::TagUid& uid) {
        bench_.lay_on(uid);
        const auto t0 = Clock::now();
        click(*update_);
        while (green() == 0) {
            if (Clock::now() - t0 > 60s) throw std::runtime_error("no success after 60 s");
            std::this_thread::sleep_for(500us);
        }
        const auto took = Clock::now() - t0;
        // OK appears once the tones have played.
        const auto done = station_.wait_for("OK", 30s);
        if (!ok_) ok_ = done.find("OK");
        if (!ok_) throw std::runtime_error("no OK on " + done.png.string());
        click(*ok_);
        const auto t1 = Clock::now();
        while (green() != 0) {
            if (Clock::now() - t1 > 20s) throw std::runtime_error("OK did not lead back to idle");
            std::this_thread::sleep_for(1ms);
        }
        return took;
    }

    bench::Station& station() { return station_; }

  private:
    long green() {
        const auto image = x_.grab(window_);
        return image ? image->count(0x00FF00) : 0;
    }
    void click(const bench::Box& box) {
        bench::run({"xdotool", "mousemove", "--window", station_.window(), std::to_string(box.x + box.w / 2),
                    std::to_string(box.y + box.h / 2), "click", "1"});
    }

    Bench& bench_;
    XProbe& x_;
    bench::Station station_;
    XProbe::Window window_ = 0;
    std::optional<bench::Box> update_;
    std::optional<bench::Box> ok_;
};

void print_row(const std::string& what, double station, double bare, const std::string& unit) {
    std::printf("  %-34s station %9.1f %-3s  bare Qt window %9.1f %-3s  ratio %5.2f\n", what.c_str(), station,
                unit.c_str(), bare, unit.c_str(), station / bare);
}

int run_figures(const fs::path& logs) {
    fs::remove_all(logs);
    fs::create_directories(logs);
    Bench bench(logs);
    XProbe x;
    const auto devices = listable_devices(SOAK_DEVICES);
    if (devices.size() < SOAK_DEVICES) throw std::runtime_error("the table has too few listable devices");

    std::printf(
        "Station figures on the bench (median of %d runs each; Xvfb, pcscd with a virtual tag, the\n"
        "programmer stand-in answering at once, the mail relay on loopback)\n\n",
        RUNS);

    // Start-up, memory and close: the station with a device to mail against the bare window.
    std::vector<double> s_frame, s_rss, s_close, b_frame, b_rss, b_close;
    for (int run = 0; run < RUNS; ++run) {
        const standin::ScratchDir work;
        const auto bare = start_and_close(x, {std::string(BARE_WINDOW)}, work.path(), logs / "bare.log");
        b_frame.push_back(bare.first_frame_ms);
        b_rss.push_back(bare.peak_rss_kb / 1024);
        b_close.push_back(bare.close_to_exit_ms);

        const auto station =
            start_and_close(x, {std::string(bench::PROGRAM)}, work.path(), logs / "station.log");
        s_frame.push_back(station.first_frame_ms);
        s_rss.push_back(station.peak_rss_kb / 1024);

        // Closing with a UID to mail: one update first, then the close timed on its own.
        Operator op(bench, x, work.path());
        op.update(devices[0]);
        const auto t0 = Clock::now();
        op.station().close();
        if (!op.station().wait_exit(60s)) throw std::runtime_error("the station did not end");
        s_close.push_back(ms(Clock::now() - t0));
    }
    print_row("start-up to first painted frame", median(s_frame), median(b_frame), "ms");
    print_row("peak resident memory", median(s_rss), median(b_rss), "MB");
    print_row("window close to exit (mail sent)", median(s_close), median(b_close), "ms");

    // The workflow's own time per device: click to the painted success line, without the second it
    // waits before probing (the tones come after the line is painted).
    {
        const standin::ScratchDir work;
        Operator op(bench, x, work.path());
        std::vector<double> overhead, total;
        for (int i = 0; i < OVERHEAD_DEVICES; ++i) {
            const auto took = op.update(devices[static_cast<std::size_t>(i)]);
            total.push_back(ms(took));
            overhead.push_back(ms(took - PROBE_WAIT));
        }
        op.station().close();
        (void)op.station().wait_exit(60s);
        std::printf(
            "\n  station overhead per device: %.1f ms (median of %d devices; click to the painted\n"
            "  \"Flashing complete!\" %.1f ms, of which %.0f ms is the mandated wait before the\n"
            "  probe; overhead / mandated wait = %.3f)\n",
            median(overhead), OVERHEAD_DEVICES, median(total), ms(PROBE_WAIT),
            median(overhead) / ms(PROBE_WAIT));
    }

    // The soak: 100 devices in one run.
    {
        const standin::ScratchDir work;
        const std::size_t mails_before = bench.mails().size();
        Operator op(bench, x, work.path());
        std::vector<long> rss, fds;
        for (int i = 0; i < SOAK_DEVICES; ++i) {
            op.update(devices[static_cast<std::size_t>(i)]);
            rss.push_back(proc_status_kb(op.station().pid(), "VmRSS"));
            fds.push_back(open_fds(op.station().pid()));
        }
        bench.take_off();
        op.station().close();
        if (!op.station().wait_exit(120s)) throw std::runtime_error("the station did not end after the soak");
        const std::string day = bench::read_file(work.path() / common::credentials_csv_name());
        const long rows = static_cast<long>(std::count(day.begin(), day.end(), '\n')) - 1;
        const auto sent = bench.mails();
        long mailed = 0;
        if (sent.size() == mails_before + 1) {
            for (const auto& uid : devices)
                if (sent.back().body.find(uid.to_string()) != std::string::npos) ++mailed;
        }
        const auto steady_rss = std::minmax_element(rss.begin() + SOAK_STEADY_FROM - 1, rss.end());
        const auto steady_fds = std::minmax_element(fds.begin() + SOAK_STEADY_FROM - 1, fds.end());
        std::printf(
            "\n  soak of %d devices in one run:\n"
            "    resident memory from device %d on: %.1f to %.1f MB (device %d: %.1f MB, device %d: "
            "%.1f MB; growth ratio %.3f)\n"
            "    open file descriptors from device %d on: %ld to %ld\n"
            "    new CSV rows: %ld; UIDs in the mail: %ld of %d\n",
            SOAK_DEVICES, SOAK_STEADY_FROM, static_cast<double>(*steady_rss.first) / 1024,
            static_cast<double>(*steady_rss.second) / 1024, SOAK_STEADY_FROM,
            static_cast<double>(rss[SOAK_STEADY_FROM - 1]) / 1024, SOAK_DEVICES,
            static_cast<double>(rss.back()) / 1024,
            static_cast<double>(rss.back()) / static_cast<double>(rss[SOAK_STEADY_FROM - 1]),
            SOAK_STEADY_FROM, *steady_fds.first, *steady_fds.second, rows, mailed, SOAK_DEVICES);
    }
    return 0;
}

}  // namespace

int main() {
    try {
        return run_figures(fs::path(STATION_FIGURES_LOG_DIR));
    } catch (const std::exception& error) {
        std::cerr << "figures: " << error.what() << "\n";
        return 1;
    }
}
