#include <fcntl.h>
#include <unistd.h>

#include <QByteArray>
#include <QFile>
#include <QProcess>
#include <QString>
#include <cerrno>
#include <vector>

#include "tool_process.hpp"

extern char** environ;

namespace common {

namespace {

// A file descriptor, closed once: when asked to, or at the latest at the end of its scope.
class Descriptor {
  public:
    explicit Descriptor(int fd) : fd_(fd) {}
    ~Descriptor() { close(); }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;

    [[nodiscard]] int get() const { return fd_; }
    void close() {
        if (fd_ >= 0) ::close(fd_);
        fd_ = -1;
    }

  private:
    int fd_;
};

}  // namespace

// Qt tells of a failed exec only in text. So the child makes Qt's exec itself, with the same program,
// arguments and environment, just before Qt would: when it succeeds, Qt's never comes; when it fails,
// its errno goes back through a pipe that a successful exec closes unread, and Qt's own exec then
// fails as well and reports the failed start.
base::Result<void> start_tool(QProcess& process) {
    std::vector<QByteArray> words{QFile::encodeName(process.program())};
    for (const QString& argument : process.arguments()) words.push_back(QFile::encodeName(argument));
    std::vector<char*> argv;
    for (QByteArray& word : words) argv.push_back(word.data());
    argv.push_back(nullptr);

    // A bare name Qt looks up on the search path itself; only a path is exec'd as it stands.
    int ends[2] = {-1, -1};
    const bool watched = words.front().contains('/') && ::pipe2(ends, O_CLOEXEC) == 0;
    Descriptor reader(ends[0]);
    Descriptor writer(ends[1]);
    if (watched) {
        // Runs in the forked child: exec and write only, nothing that allocates or locks.
        process.setChildProcessModifier([&argv, fd = writer.get()] {
            ::execve(argv[0], argv.data(), environ);
            const int error = errno;
            [[maybe_unused]] const ssize_t written = ::write(fd, &error, sizeof error);
        });
    }
    process.start(QIODevice::ReadOnly);
    const bool started = process.waitForStarted(-1);
    process.setChildProcessModifier({});
    if (started) return {};

    if (watched) {
        writer.close();
        int error = 0;
        ssize_t got = 0;
        while ((got = ::read(reader.get(), &error, sizeof error)) < 0 && errno == EINTR) {
        }
        if (got == sizeof error) return std::unexpected(base::os_error(error));
    }
    return base::fail(base::ErrorKind::Other, process.errorString().toStdString());
}

}  // namespace common
