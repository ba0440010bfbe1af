#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <cerrno>

#include "stop_signals.hpp"

namespace app {

namespace {

constexpr std::array STOP_SIGNALS{SIGTERM, SIGINT, SIGHUP};

// The handler can reach nothing but a global; an int that is always lock-free is safe to read there.
std::atomic<int> signal_socket{-1};
static_assert(std::atomic<int>::is_always_lock_free);

std::array<struct sigaction, STOP_SIGNALS.size()> previous_actions;

extern "C" void on_stop_signal(int /*signal*/) {
    const int saved = errno;
    const int fd = signal_socket.load(std::memory_order_relaxed);
    const char byte = 1;
    // A full socket already tells the loop that a signal came; the byte may be lost.
    if (fd >= 0) {
        [[maybe_unused]] const ssize_t written = ::write(fd, &byte, 1);
    }
    errno = saved;
}

}  // namespace

StopSignals::StopSignals() {
    int ends[2] = {-1, -1};
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0, ends) != 0) return;
    read_end_ = ends[0];
    write_end_ = ends[1];
    signal_socket.store(ends[1]);

    struct sigaction action {};
    action.sa_handler = on_stop_signal;
    sigemptyset(&action.sa_mask);
    // A step that blocks in a system call when a signal comes goes on as if nothing happened.
    action.sa_flags = SA_RESTART;
    for (std::size_t i = 0; i < STOP_SIGNALS.size(); ++i)
        ::sigaction(STOP_SIGNALS[i], &action, &previous_actions[i]);
}

StopSignals::~StopSignals() {
    if (write_end_ < 0) return;
    for (std::size_t i = 0; i < STOP_SIGNALS.size(); ++i)
        ::sigaction(STOP_SIGNALS[i], &previous_actions[i], nullptr);
    signal_socket.store(-1);
    ::close(static_cast<int>(write_end_));
    ::close(static_cast<int>(read_end_));
}

bool StopSignals::take() {
    if (read_end_ < 0) return false;
    bool came = false;
    std::array<char, 64> bytes{};
    for (;;) {
        const ssize_t n = ::read(static_cast<int>(read_end_), bytes.data(), bytes.size());
        if (n > 0) {
            came = true;
        } else if (n < 0 && errno == EINTR) {
            continue;
        } else {
            return came;
        }
    }
}

}  // namespace app
