#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <iostream>
#include <mutex>

#include "test_support/bench_lock.hpp"

namespace test_support {

struct BenchLock::Held {
    explicit Held(int descriptor) : fd(descriptor) {}
    ~Held() { close(fd); }  // closing the last descriptor of the open file releases the lock
    Held(const Held&) = delete;
    Held& operator=(const Held&) = delete;
    int fd;
};

namespace {

std::mutex holding;
std::weak_ptr<BenchLock::Held>& current() {
    static std::weak_ptr<BenchLock::Held> held;
    return held;
}

}  // namespace

std::string bench_lock_path() {
    // /run/lock is the machine's place for such locks; a system without it uses /tmp.
    std::error_code ignored;
    const char* dir = std::filesystem::is_directory("/run/lock", ignored) ? "/run/lock" : "/tmp";
    return std::string(dir) + "/caldrinex-bench.lock";
}

base::Result<BenchLock> BenchLock::acquire() {
    const std::lock_guard guard(holding);
    BenchLock lock;
    lock.held_ = current().lock();
    if (lock.held_) return lock;

    const std::string path = bench_lock_path();
    // Close-on-exec: pcscd and the relay must not keep the lock after this process has gone.
    const int fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
    if (fd < 0) return std::unexpected(base::last_os_error());
    auto held = std::make_shared<Held>(fd);
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        if (errno != EWOULDBLOCK) return std::unexpected(base::last_os_error());
        std::cerr << "Waiting for " << path
                  << ": another run on this machine uses pcscd or the bench relay\n";
        while (flock(fd, LOCK_EX) != 0) {
            if (errno != EINTR) return std::unexpected(base::last_os_error());
        }
    }
    current() = held;
    lock.held_ = std::move(held);
    return lock;
}

}  // namespace test_support
