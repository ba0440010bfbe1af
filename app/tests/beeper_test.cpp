#include "app/beeper.hpp"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <ostream>
#include <span>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

constexpr double RATE = 48000.0;
constexpr std::size_t SAMPLES_PER_MS = 48;

// Sets an environment variable for one scope and puts the previous value back.
class ScopedEnv {
  public:
    ScopedEnv(const char* name, const std::string& value) : name_(name) {
        if (const char* old = std::getenv(name)) old_ = old;
        setenv(name, value.c_str(), 1);
    }
    ~ScopedEnv() {
        if (old_) {
            setenv(name_, old_->c_str(), 1);
        } else {
            unsetenv(name_);
        }
    }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

  private:
    const char* name_;
    std::optional<std::string> old_;
};

// What the audio output wrote, and how often it opened and closed its file.
struct Capture {
    std::vector<float> samples;
    int opens = 0;
    int closes = 0;
};

// A FIFO for SDL's disk driver, which writes the played samples to a file with real timing and
// truncates it on each open. Holding the FIFO open for reading and writing keeps the driver's opens
// from blocking and its closes from ending the stream, so all tones of a call arrive in one stream;
// inotify counts the driver's opens and closes.
class FifoCapture {
  public:
    FifoCapture() {
        char dir[] = "/tmp/beeper_test.XXXXXX";
        if (mkdtemp(dir) == nullptr) throw std::runtime_error("mkdtemp failed");
        dir_ = dir;
        path_ = dir_ + "/audio.raw";
        if (mkfifo(path_.c_str(), 0600) != 0) throw std::runtime_error("mkfifo failed");
        fifo_ = open(path_.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
        notify_ = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
        stop_ = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
        if (fifo_ < 0 || notify_ < 0 || stop_ < 0 ||
            inotify_add_watch(notify_, path_.c_str(), IN_OPEN | IN_CLOSE_WRITE) < 0) {
            close_all();
            throw std::runtime_error("FIFO set-up failed");
        }
        reader_ = std::thread([this] { drain(); });
    }
    ~FifoCapture() { close_all(); }
    FifoCapture(const FifoCapture&) = delete;
    FifoCapture& operator=(const FifoCapture&) = delete;

    const std::string& path() const { return path_; }

    // Call once the writer is done: everything it wrote is in the FIFO by then.
    Capture finish() {
        stop_reader();
        Capture capture;
        capture.samples.resize(bytes_.size() / sizeof(float));
        // With nothing captured both pointers may be null, which memcpy does not allow even for 0 bytes.
        if (!capture.samples.empty()) {
            std::memcpy(capture.samples.data(), bytes_.data(), capture.samples.size() * sizeof(float));
        }
        alignas(inotify_event) char buffer[4096];
        for (ssize_t n; (n = read(notify_, buffer, sizeof buffer)) > 0;) {
            for (ssize_t at = 0; at < n;) {
                const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
                if (event->mask & IN_OPEN) ++capture.opens;
                if (event->mask & IN_CLOSE_WRITE) ++capture.closes;
                at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
            }
        }
        return capture;
    }

  private:
    void drain() {
        for (;;) {
            pollfd fds[2] = {{fifo_, POLLIN, 0}, {stop_, POLLIN, 0}};
            if (poll(fds, 2, -1) < 0 && errno != EINTR) return;
            read_available();
            if (fds[1].revents & POLLIN) return;
        }
    }

    void read_available() {
        char buffer[65536];
        for (;;) {
            const ssize_t n = read(fifo_, buffer, sizeof buffer);
            if (n > 0) {
                bytes_.insert(bytes_.end(), buffer, buffer + n);
            } else if (n < 0 && errno == EINTR) {
                continue;
            } else {
                return;
            }
        }
    }

    void stop_reader() {
        if (!reader_.joinable()) return;
        const std::uint64_t one = 1;
        [[maybe_unused]] const ssize_t n = write(stop_, &one, sizeof one);
        reader_.join();
    }

    void close_all() {
        stop_reader();
        for (int fd : {fifo_, notify_, stop_}) {
            if (fd >= 0) close(fd);
        }
        if (!path_.empty()) unlink(path_.c_str());
        if (!dir_.empty()) rmdir(dir_.c_str());
    }

    std::string dir_;
    std::string path_;
    int fifo_ = -1;
    int notify_ = -1;
    int stop_ = -1;
    std::thread reader_;
    std::vector<char> bytes_;
};

// Sends the audio of one test to a FIFO through SDL's disk driver.
struct DiskOutput {
    FifoCapture fifo;
    ScopedEnv driver{"SDL_AUDIODRIVER", "disk"};
    ScopedEnv file{"SDL_DISKAUDIOFILE", fifo.path()};
};

// A run of sound: samples [begin, end).
struct Tone {
    std::size_t begin;
    std::size_t end;
    std::size_t length() const { return end - begin; }
};

// Runs of sound split where at least a millisecond of silence lies between them; a sine passes zero
// for single samples only.
std::vector<Tone> find_tones(std::span<const float> samples) {
    constexpr float silent = 1e-4f;
    std::vector<Tone> tones;
    std::size_t quiet = SAMPLES_PER_MS;
    for (std::size_t i = 0; i < samples.size(); ++i) {
        if (std::abs(samples[i]) <= silent) {
            ++quiet;
            continue;
        }
        if (quiet >= SAMPLES_PER_MS) {
            tones.push_back({i, i + 1});
        } else {
            tones.back().end = i + 1;
        }
        quiet = 0;
    }
    return tones;
}

// Frequency from the rising zero crossings: whole periods between the first and the last.
double frequency(std::span<const float> tone) {
    std::vector<std::size_t> rising;
    for (std::size_t i = 1; i < tone.size(); ++i) {
        if (tone[i - 1] < 0.0f && tone[i] >= 0.0f) rising.push_back(i);
    }
    if (rising.size() < 2) return 0.0;
    return static_cast<double>(rising.size() - 1) * RATE /
           static_cast<double>(rising.back() - rising.front());
}

float peak(std::span<const float> tone) {
    float top = 0.0f;
    for (float s : tone) top = std::max(top, std::abs(s));
    return top;
}

milliseconds time_call(std::uint8_t count, std::uint64_t tone_ms, std::uint64_t pause_ms) {
    const auto start = Clock::now();
    app::play_beeps(count, tone_ms, pause_ms);
    return std::chrono::duration_cast<milliseconds>(Clock::now() - start);
}

// Starting and stopping the audio for a tone, and a loaded machine's scheduling, come on top of each
// attempt's tone and pause: under a hundred milliseconds a tone here, allowed five times over. A
// beeper that lingers a second per tone fails.
constexpr milliseconds SLACK_PER_ATTEMPT{500};

// The longest a call may take when each of its attempts plays `played_ms` and pauses `pause_ms`.
milliseconds at_most(std::uint8_t count, std::uint64_t played_ms, std::uint64_t pause_ms) {
    return count * (milliseconds(played_ms + pause_ms) + SLACK_PER_ATTEMPT);
}

struct PlayedCase {
    const char* name;
    std::uint8_t count;
    std::uint64_t tone_ms;
    std::uint64_t pause_ms;

    friend void PrintTo(const PlayedCase& c, std::ostream* os) { *os << c.name; }
};

class PlayedBeeps : public testing::TestWithParam<PlayedCase> {};

TEST_P(PlayedBeeps, EachToneIs880HzAtOneFifthOnAnOutputOpenedForItAlone) {
    const PlayedCase& c = GetParam();
    DiskOutput output;

    testing::internal::CaptureStderr();
    const milliseconds elapsed = time_call(c.count, c.tone_ms, c.pause_ms);
    const std::string printed = testing::internal::GetCapturedStderr();
    const Capture capture = output.fifo.finish();

    EXPECT_EQ(printed, "");
    EXPECT_EQ(capture.opens, c.count);
    EXPECT_EQ(capture.closes, c.count);
    // The pauses come on top of the played tones, the one after the last tone included.
    EXPECT_GE(elapsed, milliseconds(c.count * (c.tone_ms + c.pause_ms)));
    EXPECT_LE(elapsed, at_most(c.count, c.tone_ms, c.pause_ms));

    const std::vector<Tone> tones = find_tones(capture.samples);
    ASSERT_EQ(tones.size(), c.count);
    for (const Tone& tone : tones) {
        const std::span<const float> sound(capture.samples.data() + tone.begin, tone.length());
        // The sine may start and end on a zero sample, which does not count as sound.
        EXPECT_NEAR(static_cast<double>(tone.length()), static_cast<double>(c.tone_ms * SAMPLES_PER_MS),
                    static_cast<double>(SAMPLES_PER_MS));
        EXPECT_NEAR(frequency(sound), 880.0, 1.0);
        // At 48 kHz some sample lies within 3.3 degrees of each crest.
        EXPECT_GE(peak(sound), 0.199f);
        EXPECT_LE(peak(sound), 0.2f + 1e-6f);
    }
}

INSTANTIATE_TEST_SUITE_P(Calls, PlayedBeeps,
                         testing::Values(PlayedCase{"SuccessCallPlaysThreeShortTones", 3, 250, 50},
                                         PlayedCase{"FailureCallPlaysOneLongTone", 1, 750, 0},
                                         PlayedCase{"LongPausesFollowEveryTone", 2, 50, 400}),
                         [](const testing::TestParamInfo<PlayedCase>& info) { return info.param.name; });

TEST(Beeper, ZeroLengthToneStillOpensAndClosesTheOutputAndTakesThePause) {
    DiskOutput output;
    const milliseconds elapsed = time_call(2, 0, 100);
    const Capture capture = output.fifo.finish();

    EXPECT_EQ(capture.opens, 2);
    EXPECT_EQ(capture.closes, 2);
    EXPECT_TRUE(find_tones(capture.samples).empty());
    EXPECT_GE(elapsed, milliseconds(200));
    EXPECT_LE(elapsed, at_most(2, 0, 100));
}

TEST(Beeper, CountZeroReturnsAtOnceWithoutOpeningTheOutput) {
    DiskOutput output;
    // One tone or pause alone would take ten seconds.
    const milliseconds elapsed = time_call(0, 10'000, 10'000);
    const Capture capture = output.fifo.finish();

    EXPECT_LT(elapsed, milliseconds(5'000));
    EXPECT_EQ(capture.opens, 0);
    EXPECT_TRUE(capture.samples.empty());
}

TEST(Beeper, UnknownAudioDriverGivesNoToneButTakesEveryPauseSilently) {
    DiskOutput output;
    const ScopedEnv driver("SDL_AUDIODRIVER", "no_such_driver");

    testing::internal::CaptureStderr();
    // Three played tones would take thirty seconds.
    const milliseconds elapsed = time_call(3, 10'000, 200);
    const std::string printed = testing::internal::GetCapturedStderr();
    const Capture capture = output.fifo.finish();

    EXPECT_GE(elapsed, milliseconds(600));
    EXPECT_LE(elapsed, at_most(3, 0, 200));
    EXPECT_EQ(printed, "");
    EXPECT_EQ(capture.opens, 0);
}

TEST(Beeper, AlsaWithoutSoundCardGivesNoToneAndPrintsNothing) {
    struct stat info {};
    if (stat("/dev/snd", &info) == 0) GTEST_SKIP() << "this machine has sound devices";
    const ScopedEnv driver("SDL_AUDIODRIVER", "alsa");

    testing::internal::CaptureStderr();
    const milliseconds elapsed = time_call(2, 10'000, 150);
    const std::string printed = testing::internal::GetCapturedStderr();

    EXPECT_GE(elapsed, milliseconds(300));
    EXPECT_LE(elapsed, at_most(2, 0, 150));
    EXPECT_EQ(printed, "");
}

// Gives a signal its default disposition for one scope (a shell starts background jobs with SIGINT
// ignored) and puts the previous one back.
class ScopedDefaultSignal {
  public:
    explicit ScopedDefaultSignal(int sig) : sig_(sig) {
        struct sigaction action {};
        action.sa_handler = SIG_DFL;
        sigemptyset(&action.sa_mask);
        sigaction(sig_, &action, &old_);
    }
    ~ScopedDefaultSignal() { sigaction(sig_, &old_, nullptr); }
    ScopedDefaultSignal(const ScopedDefaultSignal&) = delete;
    ScopedDefaultSignal& operator=(const ScopedDefaultSignal&) = delete;

  private:
    int sig_;
    struct sigaction old_ {};
};

TEST(Beeper, InterruptAndTerminateStayUnhandledWhileATonePlays) {
    // SDL takes only signals left at their default.
    const ScopedDefaultSignal interrupt(SIGINT);
    const ScopedDefaultSignal terminate(SIGTERM);
    DiskOutput output;
    // SDL reads this to install its handlers; the program's wish must win.
    const ScopedEnv no_handlers("SDL_NO_SIGNAL_HANDLERS", "0");

    std::atomic<bool> done = false;
    std::atomic<bool> taken = false;
    std::thread watcher([&] {
        while (!done) {
            for (int sig : {SIGINT, SIGTERM}) {
                struct sigaction action {};
                if (sigaction(sig, nullptr, &action) == 0 && action.sa_handler != SIG_DFL) taken = true;
            }
            std::this_thread::sleep_for(milliseconds(1));
        }
    });
    app::play_beeps(1, 300, 0);
    done = true;
    watcher.join();
    const Capture capture = output.fifo.finish();

    EXPECT_EQ(find_tones(capture.samples).size(), 1u);
    EXPECT_FALSE(taken);
}

}  // namespace
