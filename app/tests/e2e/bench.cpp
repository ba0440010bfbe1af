#include "bench.hpp"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>
#include <stdexcept>
#include <thread>
#include <utility>

#include "rfid/tag_uid.hpp"

namespace bench {

namespace fs = std::filesystem;

namespace {

// OCR reads the window magnified; glyphs of 15-18 px are too small for it as they are.
constexpr int OCR_SCALE = 3;

// What Xvfb writes to its -displayfd descriptor: the display number and a line end, once it listens.
// Empty when the descriptor closed or the deadline passed first, or the text is not a number.
std::string read_display_number(int fd, Clock::time_point deadline) {
    std::string text;
    while (text.find('\n') == std::string::npos && Clock::now() < deadline) {
        pollfd ready{fd, POLLIN, 0};
        const int polled = poll(&ready, 1, 100);
        if (polled < 0 && errno != EINTR) break;
        if (polled <= 0) continue;
        char buffer[16];
        const ssize_t n = read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        text.append(buffer, static_cast<std::size_t>(n));
    }
    const std::string number = text.substr(0, text.find('\n'));
    const bool digits =
        !number.empty() && text.find('\n') != std::string::npos &&
        std::all_of(number.begin(), number.end(), [](char c) { return c >= '0' && c <= '9'; });
    return digits ? number : std::string();
}

std::vector<std::string> split_words(std::string_view text) {
    std::vector<std::string> words;
    std::istringstream in{std::string(text)};
    for (std::string word; in >> word;) words.push_back(word);
    return words;
}

std::string hex_window(const std::string& decimal) {
    std::ostringstream out;
    out << "0x" << std::hex << std::stoul(decimal);
    return out.str();
}

}  // namespace

std::string read_file(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::vector<std::uint8_t> uid_reply(std::string_view tag_uid) {
    const auto tag = rfid::TagUid::from_str(tag_uid).value();
    std::vector<std::uint8_t> reply(tag.bytes.begin(), tag.bytes.end());
    reply.push_back(0x90);
    reply.push_back(0x00);
    return reply;
}

void write_file(const fs::path& path, std::string_view bytes) {
    std::ofstream(path, std::ios::binary | std::ios::trunc)
        .write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

CommandResult run(const std::vector<std::string>& argv, const std::string& log) {
    return test_support::run_command(argv, log);
}

// ---- Child ----------------------------------------------------------------------------------

Child::Child(const std::vector<std::string>& argv, const fs::path& log, const fs::path& cwd, int fd3) {
    auto started = test_support::ChildProcess::start({.argv = argv, .log = log, .cwd = cwd, .fd3 = fd3});
    if (!started) throw std::runtime_error("cannot start " + argv.at(0) + ": " + started.error().message);
    process_ = std::move(*started);
}

// ---- XServer --------------------------------------------------------------------------------

XServer::XServer(const fs::path& log_dir) {
    if (const char* display = std::getenv("DISPLAY")) previous_display_ = display;
    const fs::path xvfb_log = log_dir / "xvfb.log";
    const fs::path openbox_log = log_dir / "openbox.log";
    const auto failed = [&](const std::string& what) {
        return std::runtime_error(what + "\nxvfb.log:\n" + read_file(xvfb_log) + "openbox.log:\n" +
                                  read_file(openbox_log));
    };

    // Xvfb picks a free display number itself and writes it to the descriptor once it listens.
    // -noreset: the probes below and every xdotool or import call connect and leave, and a server that
    // resets whenever its last client has gone would do so just as the window manager connects.
    int pipe_fds[2];
    if (pipe2(pipe_fds, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
    xvfb_ = Child(
        {"Xvfb", "-displayfd", "3", "-screen", "0", "1280x1024x24", "-nolisten", "tcp", "-br", "-noreset"},
        xvfb_log, {}, pipe_fds[1]);
    close(pipe_fds[1]);
    const std::string number = read_display_number(pipe_fds[0], Clock::now() + 30s);
    close(pipe_fds[0]);
    if (number.empty()) throw failed("Xvfb did not give its display number");
    display_ = ":" + number;
    setenv("DISPLAY", display_.c_str(), 1);

    // A display that has a number may not let a client in yet, and openbox gives up for good when its
    // first connection fails: a client of our own must have been let in before openbox starts.
    const auto answers = [&] { return run({"xdpyinfo", "-display", display_}).status == 0; };
    const auto x_deadline = Clock::now() + 30s;
    while (!answers()) {
        if (!xvfb_.running()) throw failed("Xvfb ended at start-up");
        if (Clock::now() > x_deadline)
            throw failed("Xvfb's display " + display_ + " did not let a client in");
        std::this_thread::sleep_for(20ms);
    }

    // Should openbox still end before it manages the screen, it is started again until the deadline.
    const auto wm_deadline = Clock::now() + 20s;
    while (run({"wmctrl", "-m"}).status != 0) {
        if (Clock::now() > wm_deadline) throw failed("openbox did not come up on " + display_);
        if (!xvfb_.running()) throw failed("Xvfb ended at start-up");
        if (!openbox_.running()) openbox_ = Child({"openbox", "--sm-disable"}, openbox_log);
        std::this_thread::sleep_for(20ms);
    }
}

void XServer::stop() {
    openbox_.stop();
    xvfb_.stop();
}

XServer::~XServer() {
    stop();
    if (previous_display_) {
        setenv("DISPLAY", previous_display_->c_str(), 1);
    } else {
        unsetenv("DISPLAY");
    }
}

// ---- Screen ---------------------------------------------------------------------------------

std::string Screen::text() const {
    std::string all;
    for (const Word& word : words) {
        if (!all.empty()) all += ' ';
        all += word.text;
    }
    return all;
}

std::optional<Box> Screen::find(std::string_view phrase) const {
    const auto wanted = split_words(phrase);
    if (wanted.empty()) return std::nullopt;
    for (std::size_t i = 0; i + wanted.size() <= words.size(); ++i) {
        bool all = true;
        for (std::size_t k = 0; k < wanted.size() && all; ++k) all = words[i + k].text == wanted[k];
        if (!all) continue;
        int x0 = words[i].box.x, y0 = words[i].box.y, x1 = x0, y1 = y0;
        for (std::size_t k = 0; k < wanted.size(); ++k) {
            const Box& b = words[i + k].box;
            x0 = std::min(x0, b.x);
            y0 = std::min(y0, b.y);
            x1 = std::max(x1, b.x + b.w);
            y1 = std::max(y1, b.y + b.h);
        }
        return Box{x0, y0, x1 - x0, y1 - y0};
    }
    return std::nullopt;
}

bool Screen::shows(std::string_view phrase) const { return find(phrase).has_value(); }

long Screen::count(Rgb colour) const { return count(colour, Box{0, 0, width, height}); }

long Screen::count(Rgb colour, Box box) const {
    long n = 0;
    for (int y = std::max(0, box.y); y < std::min(height, box.y + box.h); ++y) {
        for (int x = std::max(0, box.x); x < std::min(width, box.x + box.w); ++x) {
            const std::size_t i = (static_cast<std::size_t>(y) * static_cast<std::size_t>(width) +
                                   static_cast<std::size_t>(x)) *
                                  3;
            if (rgb[i] == colour.r && rgb[i + 1] == colour.g && rgb[i + 2] == colour.b) ++n;
        }
    }
    return n;
}

bool Screen::shows_in(std::string_view phrase, Rgb colour) const {
    const auto box = find(phrase);
    // Anti-aliasing leaves only the glyphs' cores in the exact colour; a few dozen is plenty.
    return box && count(colour, *box) >= 20;
}

// ---- Station --------------------------------------------------------------------------------

Station::Station(const fs::path& workdir, const fs::path& log_dir, Workdir kind, std::string_view path)
    : log_dir_(log_dir) {
    const std::string program(path);
    const fs::path log = log_dir / "station.log";
    if (kind == Workdir::Normal) {
        process_ = Child({program}, log, workdir);
    } else if (run({"unshare", "-m", "true"}).status == 0) {
        // Root writes into a chmod 555 directory; a read-only mount stops it. The mount lives in the
        // program's own namespace and goes with it.
        process_ = Child({"unshare", "-m", "sh", "-c",
                          "mount -t tmpfs -o ro,size=1m tmpfs \"$0\" && cd \"$0\" && exec \"$1\"",
                          workdir.string(), program},
                         log);
    } else {
        // Without mount rights: a working directory that is gone refuses new files too.
        process_ =
            Child({"sh", "-c", "cd \"$0\" && rmdir \"$0\" && exec \"$1\"", workdir.string(), program}, log);
    }

    const auto deadline = Clock::now() + 30s;
    const std::string title = "^" + std::string(WINDOW_TITLE) + "$";
    while (window_.empty()) {
        if (!process_.running())
            throw std::runtime_error("the station ended at start-up:\n" + read_file(log));
        if (Clock::now() > deadline) throw std::runtime_error("the station's window did not appear");
        const auto found =
            run({"xdotool", "search", "--onlyvisible", "--pid", std::to_string(pid()), "--name", title});
        const auto ids = split_words(found.out);
        if (found.status == 0 && !ids.empty()) window_ = ids.front();
        std::this_thread::sleep_for(20ms);
    }
}

Screen Station::shot() {
    Screen screen;
    screen.png = log_dir_ / ("shot-" + std::to_string(++shots_) + ".png");
    const std::string png = screen.png.string();
    if (run({"import", "-window", window_, png}).status != 0)
        throw std::runtime_error("import could not take a screenshot of window " + window_);

    const std::string ppm = run({"convert", png, "-depth", "8", "ppm:-"}).out;
    std::istringstream header(ppm);
    std::string magic;
    int max = 0;
    header >> magic >> screen.width >> screen.height >> max;
    header.get();
    const auto offset = static_cast<std::size_t>(header.tellg());
    const auto size = static_cast<std::size_t>(screen.width) * static_cast<std::size_t>(screen.height) * 3;
    if (magic != "P6" || max != 255 || ppm.size() < offset + size)
        throw std::runtime_error("cannot read the screenshot's pixels");
    screen.rgb.assign(ppm.begin() + static_cast<std::ptrdiff_t>(offset),
                      ppm.begin() + static_cast<std::ptrdiff_t>(offset + size));

    // Brightness (the largest channel) makes red, yellow and white text equally dark on light once
    // negated, which is what the OCR reads best.
    const std::string ocr_png = png + ".ocr.png";
    run({"convert", png, "-colorspace", "HSB", "-channel", "B", "-separate", "+channel", "-negate", "-resize",
         std::to_string(OCR_SCALE * 100) + "%", ocr_png});
    const std::string tsv =
        run({"env", "OMP_THREAD_LIMIT=1", "tesseract", ocr_png, "stdout", "--psm", "3", "tsv"}).out;
    std::istringstream lines(tsv);
    std::string line;
    std::getline(lines, line);  // column names
    while (std::getline(lines, line)) {
        std::vector<std::string> fields;
        std::istringstream row(line);
        for (std::string field; std::getline(row, field, '\t');) fields.push_back(field);
        if (fields.size() < 12 || fields[0] != "5") continue;
        const std::string text = fields[11];
        if (split_words(text).empty()) continue;
        screen.words.push_back({text,
                                {std::stoi(fields[6]) / OCR_SCALE, std::stoi(fields[7]) / OCR_SCALE,
                                 std::stoi(fields[8]) / OCR_SCALE, std::stoi(fields[9]) / OCR_SCALE}});
    }
    write_file(png + ".txt", screen.text());
    return screen;
}

Screen Station::wait_until(const std::function<bool(const Screen&)>& done, Clock::duration timeout) {
    const auto deadline = Clock::now() + timeout;
    for (;;) {
        Screen screen = shot();
        if (done(screen) || Clock::now() > deadline) return screen;
    }
}

Screen Station::wait_for(std::string_view phrase, Clock::duration timeout) {
    return wait_until([&](const Screen& screen) { return screen.shows(phrase); }, timeout);
}

Screen Station::wait_until_gone(std::string_view phrase, Clock::duration timeout) {
    return wait_until([&](const Screen& screen) { return !screen.shows(phrase); }, timeout);
}

void Station::click(std::string_view label) {
    const Screen screen = wait_for(label);
    const auto box = screen.find(label);
    if (!box) throw std::runtime_error("no button \"" + std::string(label) + "\" on " + screen.png.string());
    run({"xdotool", "mousemove", "--window", window_, std::to_string(box->x + box->w / 2),
         std::to_string(box->y + box->h / 2), "click", "1"});
}

void Station::close() {
    if (run({"wmctrl", "-i", "-c", hex_window(window_)}).status != 0)
        throw std::runtime_error("wmctrl could not close window " + window_);
}

}  // namespace bench
