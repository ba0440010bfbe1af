#pragma once

// Child processes for the tests' fixtures (pcscd, the virtual tag, the mail relay, the X server, the
// program on the bench): started with their arguments and environment, polled until they answer,
// and stopped by their PID, also when a test fails.

#include <sys/types.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "base/error.hpp"

namespace test_support {

using Clock = std::chrono::steady_clock;

struct ChildOptions {
    // argv[0] is looked up on PATH when it holds no "/".
    std::vector<std::string> argv;
    // Standard output and error are appended here; empty: /dev/null. Standard input is /dev/null.
    std::filesystem::path log = {};
    // Set in the child's environment on top of this process's own.
    std::vector<std::pair<std::string, std::string>> env = {};
    // Empty: this process's working directory.
    std::filesystem::path cwd = {};
    // When given, this descriptor becomes the child's descriptor 3.
    int fd3 = -1;
};

// A running child process, owned by one object. It is stopped when its owner goes (SIGTERM, then
// SIGKILL once a grace time has passed) and always reaped; it also gets SIGTERM when the process that
// started it dies, a ctest time-out for instance.
class ChildProcess {
  public:
    ChildProcess() = default;
    ChildProcess(ChildProcess&& other) noexcept;
    ChildProcess& operator=(ChildProcess&& other) noexcept;
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;
    ~ChildProcess();

    // Fails when the log cannot be opened or fork fails; a program that cannot be executed ends at
    // once with exit code 127.
    [[nodiscard]] static base::Result<ChildProcess> start(const ChildOptions& options);

    [[nodiscard]] pid_t pid() const { return pid_; }
    // False once the child has ended (it is then reaped and its exit code kept).
    [[nodiscard]] bool running();
    // The exit code (128 + the signal's number when a signal ended it), or nothing when it has not
    // ended within `timeout`.
    [[nodiscard]] std::optional<int> wait_exit(Clock::duration timeout);
    [[nodiscard]] std::optional<int> exit_code() const { return exit_code_; }
    // SIGTERM, then SIGKILL when it has not ended within `grace`; returns once it is reaped.
    void stop(Clock::duration grace = std::chrono::seconds(5));

  private:
    explicit ChildProcess(pid_t pid) : pid_(pid) {}
    pid_t pid_ = -1;
    std::optional<int> exit_code_;
};

enum class Readiness { Ready, Ended, TimedOut };

// Polls `ready` until it holds, the child ends or `timeout` passes, whichever comes first.
[[nodiscard]] Readiness wait_until_ready(ChildProcess& child, const std::function<bool()>& ready,
                                         Clock::duration timeout,
                                         Clock::duration interval = std::chrono::milliseconds(10));

// A command run to its end: its exit code (as `ChildProcess::wait_exit` gives it, -1 when it could
// not be started) and its standard output; standard error is appended to `log`.
struct CommandResult {
    int status = -1;
    std::string out;
};
[[nodiscard]] CommandResult run_command(const std::vector<std::string>& argv,
                                        const std::filesystem::path& log = "/dev/null");

}  // namespace test_support
