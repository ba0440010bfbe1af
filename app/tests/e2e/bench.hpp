#pragma once

// The station on a test bench: the bench build of the program in a window under X, driven and read
// back as an operator meets it (clicks, screenshots read by OCR, pixel colours), with its peers
// started and stopped by PID.

#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "test_support/child_process.hpp"

namespace bench {

inline constexpr std::string_view PROGRAM = STATION_BENCH_PROGRAM;
inline constexpr std::string_view TLS_DIR = STATION_BENCH_TLS_DIR;
inline constexpr std::uint16_t MAIL_PORT = STATION_BENCH_MAIL_PORT;
// The bench program's account on the relay (its mail account file).
inline constexpr std::string_view MAIL_SENDER = STATION_BENCH_MAIL_SENDER;
inline constexpr std::string_view MAIL_PASSWORD = STATION_BENCH_MAIL_PASSWORD;
inline constexpr std::string_view WINDOW_TITLE = "Caldrinex Firmware Update Tool";

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

std::string read_file(const std::filesystem::path& path);
// A virtual tag's answer to the UID request: the UID of the text form, then status 90 00.
std::vector<std::uint8_t> uid_reply(std::string_view tag_uid);
void write_file(const std::filesystem::path& path, std::string_view bytes);

// Runs a command to its end and returns its exit status and standard output; standard error goes to
// `log` (or is dropped).
using CommandResult = test_support::CommandResult;
CommandResult run(const std::vector<std::string>& argv, const std::string& log = "/dev/null");

// A child process, stopped by its PID when its owner goes (SIGTERM, then SIGKILL); it also dies with
// the process that started it.
class Child {
  public:
    Child() = default;
    // Output goes to `log`; `cwd` empty keeps the current directory; `fd3`, when given, is the child's
    // descriptor 3. Throws when it cannot be started.
    Child(const std::vector<std::string>& argv, const std::filesystem::path& log,
          const std::filesystem::path& cwd = {}, int fd3 = -1);

    [[nodiscard]] pid_t pid() const { return process_.pid(); }
    [[nodiscard]] bool running() { return process_.running(); }
    // The exit code (128 + signal when killed), or nothing when it has not ended within `timeout`.
    [[nodiscard]] std::optional<int> wait_exit(Clock::duration timeout) {
        return process_.wait_exit(timeout);
    }
    void stop() { process_.stop(); }

  private:
    test_support::ChildProcess process_;
};

// Xvfb on a display number nobody uses, with openbox as window manager, so that a close is the
// WM_DELETE_WINDOW a person's click on the title bar sends. Sets DISPLAY for this process and its
// children while it lives.
class XServer {
  public:
    explicit XServer(const std::filesystem::path& log_dir);
    ~XServer();
    XServer(const XServer&) = delete;
    XServer& operator=(const XServer&) = delete;

    [[nodiscard]] const std::string& display() const { return display_; }
    // The X server goes away (with its window manager), as at the end of a session.
    void stop();

  private:
    std::string display_;
    std::optional<std::string> previous_display_;
    Child xvfb_;
    Child openbox_;
};

struct Rgb {
    std::uint8_t r = 0, g = 0, b = 0;
    bool operator==(const Rgb&) const = default;
};

inline constexpr Rgb WHITE{0xFF, 0xFF, 0xFF};
inline constexpr Rgb YELLOW{0xFF, 0xFF, 0x00};
inline constexpr Rgb GREEN{0x00, 0xFF, 0x00};
inline constexpr Rgb RED{0xFF, 0x00, 0x00};

struct Box {
    int x = 0, y = 0, w = 0, h = 0;
};

// A word as OCR read it, with its box in window pixels.
struct Word {
    std::string text;
    Box box;
};

// One screenshot of the window and what OCR read on it.
struct Screen {
    std::filesystem::path png;
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> rgb;
    std::vector<Word> words;

    // The words in reading order, separated by single spaces.
    [[nodiscard]] std::string text() const;
    [[nodiscard]] bool shows(std::string_view phrase) const;
    // The box around the words of `phrase` where they first appear in a row.
    [[nodiscard]] std::optional<Box> find(std::string_view phrase) const;
    // Pixels of exactly that colour, in the whole window or in a box.
    [[nodiscard]] long count(Rgb colour) const;
    [[nodiscard]] long count(Rgb colour, Box box) const;
    // The phrase is on screen and drawn in that colour.
    [[nodiscard]] bool shows_in(std::string_view phrase, Rgb colour) const;
};

// The bench program in a working directory of its own, and its window.
class Station {
  public:
    enum class Workdir { Normal, ReadOnly };

    // Starts the program (the bench program unless another is named) in `workdir` and waits until its
    // window is on screen.
    Station(const std::filesystem::path& workdir, const std::filesystem::path& log_dir,
            Workdir kind = Workdir::Normal, std::string_view program = PROGRAM);

    [[nodiscard]] pid_t pid() const { return process_.pid(); }
    [[nodiscard]] const std::string& window() const { return window_; }

    // A screenshot read back by OCR.
    [[nodiscard]] Screen shot();
    // Screenshots until the phrase is read on one (or the deadline passes; then the last one).
    Screen wait_for(std::string_view phrase, Clock::duration timeout = 20s);
    // Screenshots until one satisfies `done` (or the deadline passes; then the last one).
    Screen wait_until(const std::function<bool(const Screen&)>& done, Clock::duration timeout = 20s);
    // Screenshots until the phrase is no longer read.
    Screen wait_until_gone(std::string_view phrase, Clock::duration timeout = 20s);
    // A click in the middle of the button that reads `label`, found on a fresh screenshot.
    void click(std::string_view label);
    // Closes the window as the window manager's close button does.
    void close();
    [[nodiscard]] std::optional<int> wait_exit(Clock::duration timeout) {
        return process_.wait_exit(timeout);
    }
    [[nodiscard]] bool running() { return process_.running(); }

  private:
    std::filesystem::path log_dir_;
    Child process_;
    std::string window_;
    int shots_ = 0;
};

}  // namespace bench
