#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <thread>

#include "test_support/child_process.hpp"

extern char** environ;

namespace test_support {

namespace {

using namespace std::chrono_literals;

// Far above 0-2 and 3, so that arranging the child's descriptors never overwrites one still needed.
constexpr int HIGH_FD = 10;

int code_of(int status) { return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status); }

// A close-on-exec copy of `fd` at HIGH_FD or above; closes `fd`.
int move_high(int fd) {
    if (fd < 0) return fd;
    const int high = fcntl(fd, F_DUPFD_CLOEXEC, HIGH_FD);
    close(fd);
    return high;
}

struct Descriptors {
    int in = -1;
    int out = -1;
    int err = -1;
    int fd3 = -1;

    void close_all() const {
        for (const int fd : {in, out, err, fd3}) {
            if (fd >= 0) close(fd);
        }
    }
};

int open_log(const std::filesystem::path& log) {
    return move_high(
        open(log.empty() ? "/dev/null" : log.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644));
}

// Forks and executes argv with the descriptors as 0, 1, 2 (and 3); returns the PID or -1 with errno.
// The descriptors stay open in this process; the caller closes them.
pid_t spawn(const ChildOptions& options, const Descriptors& fds) {
    std::vector<char*> argv;
    for (const auto& arg : options.argv) argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);

    // Everything the child needs is made before fork: between fork and exec only async-signal-safe
    // calls, as the tests run threads.
    std::vector<std::string> env;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        const std::string_view text(*entry);
        bool replaced = false;
        for (const auto& [name, value] : options.env) {
            replaced =
                replaced || (text.starts_with(name) && text.size() > name.size() && text[name.size()] == '=');
        }
        if (!replaced) env.emplace_back(text);
    }
    for (const auto& [name, value] : options.env) env.push_back(name + "=" + value);
    std::vector<char*> envp;
    for (auto& entry : env) envp.push_back(entry.data());
    envp.push_back(nullptr);
    const std::string cwd = options.cwd.string();
    const pid_t parent = getpid();

    const pid_t pid = fork();
    if (pid != 0) return pid;
    prctl(PR_SET_PDEATHSIG, SIGTERM);
    if (getppid() != parent) _exit(127);
    if (!cwd.empty() && chdir(cwd.c_str()) != 0) _exit(126);
    dup2(fds.in, STDIN_FILENO);
    dup2(fds.out, STDOUT_FILENO);
    dup2(fds.err, STDERR_FILENO);
    if (fds.fd3 >= 0) dup2(fds.fd3, 3);
    execvpe(argv[0], argv.data(), envp.data());
    _exit(127);
}

}  // namespace

ChildProcess::ChildProcess(ChildProcess&& other) noexcept
    : pid_(std::exchange(other.pid_, -1)), exit_code_(std::exchange(other.exit_code_, std::nullopt)) {}

ChildProcess& ChildProcess::operator=(ChildProcess&& other) noexcept {
    if (this != &other) {
        stop();
        pid_ = std::exchange(other.pid_, -1);
        exit_code_ = std::exchange(other.exit_code_, std::nullopt);
    }
    return *this;
}

ChildProcess::~ChildProcess() { stop(); }

base::Result<ChildProcess> ChildProcess::start(const ChildOptions& options) {
    if (options.argv.empty()) return base::fail(base::ErrorKind::InvalidInput, "no program to start");
    Descriptors fds;
    fds.out = open_log(options.log);
    if (fds.out < 0) return std::unexpected(base::last_os_error());
    fds.err = fcntl(fds.out, F_DUPFD_CLOEXEC, HIGH_FD);
    fds.in = move_high(open("/dev/null", O_RDONLY | O_CLOEXEC));
    if (options.fd3 >= 0) fds.fd3 = fcntl(options.fd3, F_DUPFD_CLOEXEC, HIGH_FD);
    const pid_t pid = spawn(options, fds);
    const int spawn_errno = errno;
    fds.close_all();
    if (pid < 0) return std::unexpected(base::os_error(spawn_errno));
    return ChildProcess(pid);
}

bool ChildProcess::running() {
    if (pid_ <= 0) return false;
    int status = 0;
    if (waitpid(pid_, &status, WNOHANG) == pid_) {
        exit_code_ = code_of(status);
        pid_ = -1;
        return false;
    }
    return true;
}

std::optional<int> ChildProcess::wait_exit(Clock::duration timeout) {
    const auto deadline = Clock::now() + timeout;
    while (running()) {
        if (Clock::now() >= deadline) return std::nullopt;
        std::this_thread::sleep_for(2ms);
    }
    return exit_code_;
}

void ChildProcess::stop(Clock::duration grace) {
    if (pid_ <= 0) return;
    kill(pid_, SIGTERM);
    if (wait_exit(grace)) return;
    kill(pid_, SIGKILL);
    int status = 0;
    while (waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
    }
    exit_code_ = code_of(status);
    pid_ = -1;
}

Readiness wait_until_ready(ChildProcess& child, const std::function<bool()>& ready, Clock::duration timeout,
                           Clock::duration interval) {
    const auto deadline = Clock::now() + timeout;
    for (;;) {
        if (ready()) return Readiness::Ready;
        if (!child.running()) return Readiness::Ended;
        if (Clock::now() >= deadline) return Readiness::TimedOut;
        std::this_thread::sleep_for(interval);
    }
}

CommandResult run_command(const std::vector<std::string>& argv, const std::filesystem::path& log) {
    CommandResult result;
    int pipe_fds[2];
    if (argv.empty() || pipe2(pipe_fds, O_CLOEXEC) != 0) return result;
    Descriptors fds;
    const int reading = move_high(pipe_fds[0]);
    fds.out = move_high(pipe_fds[1]);
    fds.err = open_log(log);
    fds.in = move_high(open("/dev/null", O_RDONLY | O_CLOEXEC));
    const pid_t pid = spawn({.argv = argv}, fds);
    fds.close_all();
    char buffer[65536];
    for (;;) {
        const ssize_t n = read(reading, buffer, sizeof buffer);
        if (n > 0) {
            result.out.append(buffer, static_cast<std::size_t>(n));
        } else if (n == 0 || errno != EINTR) {
            break;
        }
    }
    close(reading);
    int status = 0;
    if (pid > 0) {
        while (waitpid(pid, &status, 0) < 0) {
            if (errno != EINTR) return result;
        }
        result.status = code_of(status);
    }
    return result;
}

}  // namespace test_support
