#include <fcntl.h>
#include <unistd.h>

#include <QByteArray>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
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

// The errno the child sent back, or 0 once every write end is gone unwritten (the tool runs).
int reported_error(const Descriptor& reader) {
    int error = 0;
    ssize_t got = 0;
    while ((got = ::read(reader.get(), &error, sizeof error)) < 0 && errno == EINTR) {
    }
    return got == sizeof error ? error : 0;
}

}  // namespace

// The child starts the tool itself, just before Qt would, for two reasons. Qt tells of a failed exec
// only in text. And in Qt 6.4 that failure path leaks: its child shares the parent's memory until the
// exec (a vfork-like clone), marks the write end of Qt's start-up pipe as closed after writing its
// report there, and so the parent never closes that end: one descriptor per failed start, until no
// tool can be started at all. So our child execs the same program with the same arguments and
// environment; when that succeeds Qt's exec never comes. When it fails, the child sends errno back
// through a pipe that a successful exec closes unread and ends at once, so Qt's failure path never
// runs: to Qt the process started and ended, and it is reaped as any other.
//
// The tool may be writing a device when the station's terminal sends an interrupt or a hang-up to the
// station's process group; in a group of its own the tool is not hit and finishes its write. Its input
// is the null device and its output goes to pipes, so being outside the terminal's foreground group
// does not stop it.
base::Result<void> start_tool(QProcess& process) {
    // A bare name is looked up on the search path here, with Qt's own rules, so that the child execs
    // the very file Qt would have; a name found nowhere there is not run from the working directory.
    if (!process.program().contains(u'/')) {
        const QString found = QStandardPaths::findExecutable(process.program());
        if (found.isEmpty()) return std::unexpected(base::os_error(ENOENT));
        process.setProgram(found);
    }

    std::vector<QByteArray> words{QFile::encodeName(process.program())};
    for (const QString& argument : process.arguments()) words.push_back(QFile::encodeName(argument));
    std::vector<char*> argv;
    for (QByteArray& word : words) argv.push_back(word.data());
    argv.push_back(nullptr);

    int ends[2] = {-1, -1};
    if (::pipe2(ends, O_CLOEXEC) != 0) return std::unexpected(base::last_os_error());
    const Descriptor reader(ends[0]);
    Descriptor writer(ends[1]);
    // Runs in the forked child: system calls only, nothing that allocates or locks.
    process.setChildProcessModifier([&argv, fd = writer.get()] {
        if (::setpgid(0, 0) == 0) ::execve(argv[0], argv.data(), environ);
        const int error = errno;
        [[maybe_unused]] const ssize_t written = ::write(fd, &error, sizeof error);
        ::_exit(127);
    });
    process.start(QIODevice::ReadOnly);
    const bool started = process.waitForStarted(-1);
    process.setChildProcessModifier({});
    writer.close();
    const int error = reported_error(reader);

    if (error != 0) {
        process.waitForFinished(-1);
        return std::unexpected(base::os_error(error));
    }
    if (started) return {};
    // Qt failed before there was a child, a fork that found no room, for instance.
    return base::fail(base::ErrorKind::Other, process.errorString().toStdString());
}

}  // namespace common
