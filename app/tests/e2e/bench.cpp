#include "bench.hpp"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
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

std::vector<char*> c_args(const std::vector<std::string>& argv) {
    std::vector<char*> args;
    for (const auto& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
    args.push_back(nullptr);
    return args;
}

int exit_code(int status) { return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status); }

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
    int pipe_fds[2];
    if (pipe2(pipe_fds, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
    const int err = open(log.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    auto args = c_args(argv);
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(pipe_fds[1], STDOUT_FILENO);
        if (err >= 0) dup2(err, STDERR_FILENO);
        execvp(args[0], args.data());
        _exit(127);
    }
    close(pipe_fds[1]);
    if (err >= 0) close(err);
    CommandResult result;
    char buffer[65536];
    for (;;) {
        const ssize_t n = read(pipe_fds[0], buffer, sizeof buffer);
        if (n > 0) {
            result.out.append(buffer, static_cast<std::size_t>(n));
        } else if (n == 0 || errno != EINTR) {
            break;
        }
    }
    close(pipe_fds[0]);
    int status = 0;
    if (pid > 0 && waitpid(pid, &status, 0) == pid) result.status = exit_code(status);
    return result;
}

// ---- Child ----------------------------------------------------------------------------------

Child::Child(const std::vector<std::string>& argv, const fs::path& log, const fs::path& cwd, int fd3) {
    const int out = open(log.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    const int in = open("/dev/null", O_RDONLY | O_CLOEXEC);
    if (out < 0 || in < 0) throw std::runtime_error("cannot open " + log.string());
    auto args = c_args(argv);
    const std::string dir = cwd.string();
    const pid_t parent = getpid();
    const pid_t pid = fork();
    if (pid == 0) {
        prctl(PR_SET_PDEATHSIG, SIGTERM);
        if (getppid() != parent) _exit(127);
        if (!dir.empty() && chdir(dir.c_str()) != 0) _exit(126);
        dup2(in, STDIN_FILENO);
        dup2(out, STDOUT_FILENO);
        dup2(out, STDERR_FILENO);
        if (fd3 == 3) {
            fcntl(3, F_SETFD, 0);
        } else if (fd3 >= 0) {
            dup2(fd3, 3);
        }
        execvp(args[0], args.data());
        _exit(127);
    }
    close(out);
    close(in);
    if (pid < 0) throw std::runtime_error("fork failed for " + argv[0]);
    pid_ = pid;
}

Child::Child(Child&& other) noexcept
    : pid_(std::exchange(other.pid_, -1)), exit_code_(std::exchange(other.exit_code_, std::nullopt)) {}

Child& Child::operator=(Child&& other) noexcept {
    if (this != &other) {
        stop();
        pid_ = std::exchange(other.pid_, -1);
        exit_code_ = std::exchange(other.exit_code_, std::nullopt);
    }
    return *this;
}

Child::~Child() { stop(); }

bool Child::running() {
    if (pid_ <= 0) return false;
    int status = 0;
    if (waitpid(pid_, &status, WNOHANG) == pid_) {
        exit_code_ = exit_code(status);
        pid_ = -1;
        return false;
    }
    return true;
}

std::optional<int> Child::wait_exit(Clock::duration timeout) {
    const auto deadline = Clock::now() + timeout;
    while (running()) {
        if (Clock::now() >= deadline) return std::nullopt;
        std::this_thread::sleep_for(5ms);
    }
    return exit_code_;
}

void Child::stop() {
    if (pid_ <= 0) return;
    kill(pid_, SIGTERM);
    if (!wait_exit(5s)) {
        kill(pid_, SIGKILL);
        int status = 0;
        waitpid(pid_, &status, 0);
        exit_code_ = exit_code(status);
        pid_ = -1;
    }
}

// ---- XServer --------------------------------------------------------------------------------

XServer::XServer(const fs::path& log_dir) {
    if (const char* display = std::getenv("DISPLAY")) previous_display_ = display;
    // Xvfb picks a free display number itself and writes it to the descriptor, once it accepts clients.
    int pipe_fds[2];
    if (pipe2(pipe_fds, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
    xvfb_ = Child({"Xvfb", "-displayfd", "3", "-screen", "0", "1280x1024x24", "-nolisten", "tcp", "-br"},
                  log_dir / "xvfb.log", {}, pipe_fds[1]);
    close(pipe_fds[1]);
    std::string number;
    const auto deadline = Clock::now() + 30s;
    while (number.find('\n') == std::string::npos && Clock::now() < deadline) {
        pollfd ready{pipe_fds[0], POLLIN, 0};
        if (poll(&ready, 1, 100) <= 0) continue;
        char buffer[16];
        const ssize_t n = read(pipe_fds[0], buffer, sizeof buffer);
        if (n <= 0) break;
        number.append(buffer, static_cast<std::size_t>(n));
    }
    close(pipe_fds[0]);
    if (number.find('\n') == std::string::npos)
        throw std::runtime_error("Xvfb did not start; see " + (log_dir / "xvfb.log").string());
    display_ = ":" + number.substr(0, number.find('\n'));
    setenv("DISPLAY", display_.c_str(), 1);

    openbox_ = Child({"openbox", "--sm-disable"}, log_dir / "openbox.log");
    const auto wm_deadline = Clock::now() + 10s;
    while (run({"wmctrl", "-m"}).status != 0) {
        if (!openbox_.running() || Clock::now() > wm_deadline)
            throw std::runtime_error("openbox did not come up; see " + (log_dir / "openbox.log").string());
        std::this_thread::sleep_for(20ms);
    }
}

XServer::~XServer() {
    openbox_.stop();
    xvfb_.stop();
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
