// The program as built, in a real X session: Xvfb with openbox as the window manager, so that a close
// is what an operator's click on the title bar's close button sends.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QColor>
#include <QImage>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

const std::string TITLE = "Caldrinex Firmware Update Tool";

// Polls until `ready` holds or the time is up.
bool wait_for(const std::function<bool()>& ready, std::chrono::milliseconds limit = 60s) {
    const auto end = Clock::now() + limit;
    while (Clock::now() < end) {
        if (ready()) return true;
        std::this_thread::sleep_for(20ms);
    }
    return ready();
}

struct Output {
    int status = -1;
    std::string text;
};

// Runs a shell command line made by the test itself and returns its exit status and standard output.
Output shell(const std::string& command) {
    Output out;
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) return out;
    char buffer[4096];
    std::size_t n = 0;
    while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) out.text.append(buffer, n);
    const int status = pclose(pipe);
    out.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return out;
}

// A child process that is stopped (SIGTERM, then SIGKILL) when the object goes, also when a test fails.
class Child {
  public:
    struct Options {
        std::vector<std::string> argv;
        std::vector<std::pair<std::string, std::string>> env;
        fs::path working_dir;
        bool remove_working_dir = false;  // enter it, then remove it, then start the program
        fs::path output;                  // standard output and error; empty: /dev/null
        int keep_fd = -1;                 // a descriptor the child inherits
    };

    explicit Child(const Options& options) {
        std::vector<char*> argv;
        for (const auto& a : options.argv) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        pid_ = fork();
        if (pid_ != 0) return;
        for (const auto& [name, value] : options.env) setenv(name.c_str(), value.c_str(), 1);
        if (!options.working_dir.empty()) {
            if (chdir(options.working_dir.c_str()) != 0) _exit(120);
            if (options.remove_working_dir && rmdir(options.working_dir.c_str()) != 0) _exit(121);
        }
        const int out = open(options.output.empty() ? "/dev/null" : options.output.c_str(),
                             O_WRONLY | O_CREAT | O_TRUNC, 0644);
        dup2(out, 1);
        dup2(out, 2);
        for (int fd = 3; fd < 256; ++fd)
            if (fd != options.keep_fd) close(fd);
        execvp(argv[0], argv.data());
        _exit(127);
    }
    ~Child() {
        if (pid_ > 0 && !exited()) {
            kill(pid_, SIGTERM);
            if (!wait_for([this] { return exited(); }, 3s)) {
                kill(pid_, SIGKILL);
                (void)wait_exit(5s);
            }
        }
    }
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;

    [[nodiscard]] pid_t pid() const { return pid_; }

    bool exited() {
        if (pid_ <= 0 || status_) return true;
        int status = 0;
        if (waitpid(pid_, &status, WNOHANG) == pid_) status_ = status;
        return status_.has_value();
    }
    // The exit code, or nothing when it did not exit in time (or was killed by a signal).
    std::optional<int> wait_exit(std::chrono::milliseconds limit) {
        if (!wait_for([this] { return exited(); }, limit)) return std::nullopt;
        if (!WIFEXITED(*status_)) return std::nullopt;
        return WEXITSTATUS(*status_);
    }

  private:
    pid_t pid_ = -1;
    std::optional<int> status_;
};

// Xvfb on a display number of its own choosing, with openbox managing its windows.
class XSession {
  public:
    XSession() {
        int fds[2];
        if (pipe(fds) != 0) return;
        xvfb_.emplace(Child::Options{
            {"Xvfb", "-displayfd", std::to_string(fds[1]), "-screen", "0", "1024x768x24", "-nolisten", "tcp"},
            {},
            {},
            false,
            {},
            fds[1]});
        close(fds[1]);
        std::string number;
        pollfd waiting{fds[0], POLLIN, 0};
        const auto end = Clock::now() + 20s;
        while (Clock::now() < end && number.find('\n') == std::string::npos) {
            if (poll(&waiting, 1, 100) <= 0) continue;
            char c = 0;
            if (read(fds[0], &c, 1) != 1) break;
            number += c;
        }
        close(fds[0]);
        if (number.find('\n') == std::string::npos) return;
        display_ = ":" + number.substr(0, number.find('\n'));
        if (!wait_for([this] { return x("xdpyinfo >/dev/null 2>&1").status == 0; })) return;
        openbox_.emplace(Child::Options{{"openbox"}, {{"DISPLAY", display_}}, {}, false, {}, -1});
        ready_ = wait_for([this] { return x("wmctrl -m >/dev/null 2>&1").status == 0; });
    }
    ~XSession() {
        openbox_.reset();
        xvfb_.reset();
    }

    [[nodiscard]] bool ready() const { return ready_; }
    [[nodiscard]] const std::string& display() const { return display_; }
    // A command line run against this display.
    Output x(const std::string& command) const { return shell("DISPLAY=" + display_ + " " + command); }

  private:
    std::optional<Child> xvfb_;
    std::optional<Child> openbox_;
    std::string display_;
    bool ready_ = false;
};

bool is_yellow(QRgb p) { return qRed(p) > 200 && qGreen(p) > 200 && qBlue(p) < 80; }
bool is_red(QRgb p) { return qRed(p) > 200 && qGreen(p) < 60 && qBlue(p) < 60; }
// The label colour #f0f0ea at full strength.
bool is_label_colour(QRgb p) {
    return qRed(p) > 220 && qGreen(p) > 220 && qBlue(p) > 200 && std::abs(qRed(p) - qBlue(p)) < 20;
}

int count(const QImage& image, const QRect& area, bool (*matches)(QRgb)) {
    int n = 0;
    const QRect inside = area.intersected(image.rect());
    for (int y = inside.top(); y <= inside.bottom(); ++y)
        for (int x = inside.left(); x <= inside.right(); ++x) n += matches(image.pixel(x, y)) ? 1 : 0;
    return n;
}

struct Word {
    std::string text;
    QRect box;  // in the screenshot's pixels
};

// Tesseract reads dark text on a light ground best: the screenshot is inverted and enlarged first.
std::vector<Word> read_words(const fs::path& png, const fs::path& scratch) {
    const fs::path enlarged = scratch / "ocr.png";
    constexpr int SCALE = 3;
    shell("convert '" + png.string() + "' -negate -resize 300% '" + enlarged.string() + "'");
    const Output tsv = shell("tesseract '" + enlarged.string() + "' - tsv 2>/dev/null");
    std::vector<Word> words;
    std::istringstream lines(tsv.text);
    std::string line;
    while (std::getline(lines, line)) {
        std::vector<std::string> fields;
        std::istringstream split(line);
        std::string field;
        while (std::getline(split, field, '\t')) fields.push_back(field);
        if (fields.size() < 12 || fields[0] != "5" || fields[11].empty()) continue;
        words.push_back(
            {fields[11], QRect(std::stoi(fields[6]) / SCALE, std::stoi(fields[7]) / SCALE,
                               std::stoi(fields[8]) / SCALE + 1, std::stoi(fields[9]) / SCALE + 1)});
    }
    return words;
}

std::string joined(const std::vector<Word>& words) {
    std::string text;
    for (const auto& w : words) text += w.text + " ";
    return text;
}

const Word* find_word(const std::vector<Word>& words, const std::string& text) {
    for (const auto& w : words)
        if (w.text == text) return &w;
    return nullptr;
}

std::string file_text(const fs::path& path) {
    std::ifstream in(path);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The command line that runs `argv` with its connect calls written to `trace`, its children's too.
std::vector<std::string> traced_connects(std::vector<std::string> argv, const fs::path& trace) {
    argv.insert(argv.begin(), {"strace", "-f", "-qq", "-e", "trace=connect", "-o", trace.string()});
    return argv;
}

// True when such a trace holds a connect to `port`, over IPv4 or IPv6.
bool connects_to_port(const std::string& trace, int port) {
    return trace.find("_port=htons(" + std::to_string(port) + ")") != std::string::npos;
}

class StationWindow : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(session_.ready()) << "Xvfb with openbox did not come up";
        char pattern[] = "/tmp/station-window-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        scratch_ = pattern;
        work_ = scratch_ / "work";
        fs::create_directory(work_);
        fs::create_directories(STATION_CAPTURE_DIR);
    }
    void TearDown() override {
        program_.reset();
        std::error_code ignored;
        fs::remove_all(scratch_, ignored);
    }

    // The program as built (or `program`); traced, its connect calls are written to connections.txt.
    // (Stopping strace leaves the program running, but it ends by itself when the X server goes.)
    void start(bool remove_working_dir = false, bool traced = false,
               const std::string& program = STATION_PROGRAM) {
        std::vector<std::string> argv{program};
        std::vector<std::pair<std::string, std::string>> env{{"DISPLAY", session_.display()},
                                                             {"QT_QPA_PLATFORM", "xcb"}};
        if (traced) {
            argv = traced_connects(argv, scratch_ / "connections.txt");
            // In a sanitized build: LeakSanitizer needs ptrace itself and fails under strace; the
            // untraced runs still look for leaks.
            if (const char* asan = std::getenv("ASAN_OPTIONS"))
                env.emplace_back("ASAN_OPTIONS", std::string(asan) + ":detect_leaks=0");
        }
        program_.emplace(Child::Options{argv, env, work_, remove_working_dir, scratch_ / "output.txt"});
    }

    // The window's id once it is mapped.
    std::string window_id() {
        std::string id;
        wait_for([&] {
            const Output found =
                session_.x("xdotool search --onlyvisible --name '^" + TITLE + "$' 2>/dev/null");
            id = found.text.substr(0, found.text.find('\n'));
            return found.status == 0 && !id.empty();
        });
        return id;
    }

    // A screenshot of the window, taken again until `painted` holds for it.
    QImage capture(const std::string& id, const std::string& name, bool (*painted)(const QImage&)) {
        const fs::path png = fs::path(STATION_CAPTURE_DIR) / name;
        QImage image;
        wait_for([&] {
            if (session_.x("import -window " + id + " '" + png.string() + "' 2>/dev/null").status != 0)
                return false;
            image = QImage(QString::fromStdString(png.string())).convertToFormat(QImage::Format_RGB32);
            return !image.isNull() && painted(image);
        });
        return image;
    }

    QSize window_size(const std::string& id) {
        const Output info = session_.x("xwininfo -id " + id);
        const auto field = [&](const std::string& name) {
            const auto at = info.text.find(name);
            return at == std::string::npos ? -1 : std::stoi(info.text.substr(at + name.size()));
        };
        return {field("Width: "), field("Height: ")};
    }

    // Closes the window as the operator does; the window manager sends WM_DELETE_WINDOW.
    void close_window() { EXPECT_EQ(session_.x("wmctrl -c '" + TITLE + "'").status, 0); }

    XSession session_;
    fs::path scratch_;
    fs::path work_;
    std::optional<Child> program_;
};

bool shows_reminder(const QImage& image) { return count(image, image.rect(), is_yellow) > 200; }
bool shows_error(const QImage& image) { return count(image, image.rect(), is_red) > 200; }

TEST_F(StationWindow, StartsWithTheLabelsAndUpdateDeviceOnTheDarkBackground_AndCloseEndsItWithZero) {
    start();
    const std::string id = window_id();
    ASSERT_FALSE(id.empty()) << file_text(scratch_ / "output.txt");
    EXPECT_EQ(window_size(id), QSize(700, 350));
    const QImage shot = capture(id, "idle.png", shows_reminder);
    ASSERT_EQ(shot.size(), QSize(700, 350));

    // Most of the window is the theme's background.
    EXPECT_GT(count(shot, shot.rect(), [](QRgb p) { return p == qRgb(0x29, 0x29, 0x29); }),
              shot.width() * shot.height() * 3 / 4);

    const auto words = read_words(fs::path(STATION_CAPTURE_DIR) / "idle.png", scratch_);
    const std::string text = joined(words);
    for (const std::string expected :
         {"Caldrinex Firmware Update Tool for KORVEN GmbH", "RFID input using an RFID reader",
          "Please keep each device paired with its back cover", "Update Device"})
        EXPECT_NE(text.find(expected), std::string::npos) << expected << " not in: " << text;

    // Each text in its colour: the fixed labels light, the reminder yellow, the button's label light
    // on the button's own dark gradient.
    const Word* heading = find_word(words, "Caldrinex");
    const Word* reminder = find_word(words, "paired");
    const Word* button = find_word(words, "Device");
    ASSERT_TRUE(heading && reminder && button) << text;
    EXPECT_GT(count(shot, heading->box, is_label_colour), 10);
    EXPECT_EQ(count(shot, heading->box, is_yellow), 0);
    EXPECT_GT(count(shot, reminder->box, is_yellow), 10);
    EXPECT_GT(count(shot, button->box, is_label_colour), 10);
    EXPECT_EQ(count(shot, button->box, is_yellow), 0);
    EXPECT_GT(count(shot, button->box,
                    [](QRgb p) { return qRed(p) < 0x22 && qGreen(p) < 0x22 && qBlue(p) < 0x22; }),
              10);
    // The button stands below the reminder, at the panel's left edge: the 500-wide panel is centred.
    EXPECT_GT(button->box.top(), reminder->box.bottom());
    EXPECT_LT(button->box.left(), 250);
    EXPECT_GT(button->box.left(), 100);

    // The labels overflow a smaller window; they do not keep it from shrinking.
    EXPECT_EQ(session_.x("xdotool windowsize " + id + " 300 150").status, 0);
    EXPECT_TRUE(wait_for([&] { return window_size(id) == QSize(300, 150); }, 10s)) << window_size(id).width();

    close_window();
    EXPECT_EQ(program_->wait_exit(60s), 0);
    EXPECT_TRUE(
        fs::exists(work_ / ("QZT_Device_Credentials_" + shell("date +%F").text.substr(0, 10) + ".csv")));
}

TEST_F(StationWindow, ClosedWithNothingUpdated_EndsWithZeroWithoutConnectingToTheRelay) {
    // The program with its relay at a loopback address, which needs no name look-up: a report mail
    // would connect to the relay's port.
    start(false, true, LOOPBACK_RELAY_PROGRAM);
    const std::string id = window_id();
    ASSERT_FALSE(id.empty()) << file_text(scratch_ / "output.txt");
    close_window();
    EXPECT_EQ(program_->wait_exit(60s), 0);
    const std::string trace = file_text(scratch_ / "connections.txt");
    // The trace saw the program: its connection to the X server is in it.
    EXPECT_NE(trace.find("X11-unix"), std::string::npos) << trace;
    EXPECT_FALSE(connects_to_port(trace, LOOPBACK_RELAY_PORT)) << trace;
}

TEST(ConnectionTrace, ShowsAConnectToTheRelaysPort) {
    // The relay's port is not served: the connect is refused, and traced all the same.
    char pattern[] = "/tmp/station-trace-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    const fs::path dir = pattern;
    const std::string port = std::to_string(LOOPBACK_RELAY_PORT);
    {
        Child traced(Child::Options{
            traced_connects({"bash", "-c", "exec 3<>/dev/tcp/127.0.0.1/" + port}, dir / "connections.txt"),
            {},
            {},
            false,
            {},
            -1});
        EXPECT_TRUE(traced.wait_exit(60s).has_value());
    }
    const std::string trace = file_text(dir / "connections.txt");
    EXPECT_TRUE(connects_to_port(trace, LOOPBACK_RELAY_PORT)) << trace;
    EXPECT_FALSE(connects_to_port(trace, LOOPBACK_RELAY_PORT + 1)) << trace;
    fs::remove_all(dir);
}

TEST_F(StationWindow, CsvFileThatCannotBeCreated_ShowsOnlyTheRedErrorAndStillEndsWithZero) {
    start(true);  // the working directory is gone: the file cannot be created
    const std::string id = window_id();
    ASSERT_FALSE(id.empty()) << file_text(scratch_ / "output.txt");
    const QImage shot = capture(id, "csv-error.png", shows_error);
    EXPECT_TRUE(shows_error(shot));
    EXPECT_EQ(count(shot, shot.rect(), is_yellow), 0);
    const std::string text = joined(read_words(fs::path(STATION_CAPTURE_DIR) / "csv-error.png", scratch_));
    EXPECT_NE(text.find("No such file or directory"), std::string::npos) << text;
    EXPECT_EQ(text.find("Update Device"), std::string::npos) << text;

    close_window();
    EXPECT_EQ(program_->wait_exit(60s), 0);
}

TEST(StationLaunch, BuiltWithATargetWithoutARelease_Stops101BeforeAnyFileOrWindow) {
    char pattern[] = "/tmp/station-launch-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    const fs::path dir = pattern;
    const fs::path output = fs::path(pattern).concat(".txt");
    std::optional<int> code;
    {
        // No display at all: a window would fail to open, so reaching the launch would show.
        Child program(Child::Options{{UNRELEASED_TARGET_PROGRAM}, {{"DISPLAY", ""}}, dir, false, output});
        code = program.wait_exit(60s);
    }
    EXPECT_EQ(code, 101);
    EXPECT_TRUE(fs::is_empty(dir));
    const std::string said = file_text(output);
    EXPECT_NE(said.find("QZT410HoNO35-TB-P-2.b"), std::string::npos) << said;
    EXPECT_EQ(said.find("Failed to launch application"), std::string::npos) << said;
    fs::remove_all(dir);
    fs::remove(output);
}

TEST(StationLaunch, NoDisplay_Stops101WithTheToolkitsErrorAfterCreatingTheCsvFile) {
    char pattern[] = "/tmp/station-launch-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    const fs::path dir = pattern;
    // A display number no server has: no socket and no lock file.
    int number = 150;
    while (fs::exists("/tmp/.X11-unix/X" + std::to_string(number)) ||
           fs::exists("/tmp/.X" + std::to_string(number) + "-lock"))
        ++number;
    std::optional<int> code;
    {
        Child program(Child::Options{{STATION_PROGRAM},
                                     {{"DISPLAY", ":" + std::to_string(number)}, {"QT_QPA_PLATFORM", "xcb"}},
                                     dir,
                                     false,
                                     dir / "output.txt"});
        code = program.wait_exit(60s);
    }
    EXPECT_EQ(code, 101);
    const std::string said = file_text(dir / "output.txt");
    EXPECT_EQ(said.rfind("Failed to launch application: ", 0), 0u) << said;
    EXPECT_NE(said.find("could not connect to display"), std::string::npos) << said;
    bool csv = false;
    for (const auto& entry : fs::directory_iterator(dir))
        csv = csv || entry.path().filename().string().rfind("QZT_Device_Credentials_", 0) == 0;
    EXPECT_TRUE(csv);
    fs::remove_all(dir);
}

}  // namespace
