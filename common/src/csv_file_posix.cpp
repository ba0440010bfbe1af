#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "base/write_all.hpp"
#include "csv_file.hpp"

namespace common::csv_file {

namespace {

base::Result<AppendFile> open_append(const std::string& name, int extra_flags) {
    const int fd = ::open(name.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC | extra_flags, 0644);
    if (fd < 0) return std::unexpected(base::last_os_error());
    return AppendFile(fd);
}

}  // namespace

AppendFile::~AppendFile() {
    if (handle_ != kClosed) ::close(static_cast<int>(handle_));
}

base::Result<void> AppendFile::append(std::string_view text) {
    if (text.empty()) return {};
    const int fd = static_cast<int>(handle_);
    struct stat before {};
    if (::fstat(fd, &before) != 0) return std::unexpected(base::last_os_error());
    const auto written = base::write_all(handle_, text);
    if (!written) {
        // Whatever part of the text reached the file goes again, so that the file ends where it
        // ended and the next line does not run on from a fragment. The length is taken just before
        // the write, and the file is shared without a lock: a line another program appends in that
        // moment would go too, a far smaller risk than a fragment at every full disk. The write's
        // error is the one to report; a file that cannot be cut (a device) was not lengthened.
        [[maybe_unused]] const int cut = ::ftruncate(fd, before.st_size);
    }
    return written;
}

base::Result<void> AppendFile::close() {
    if (handle_ == kClosed) return {};
    const int fd = static_cast<int>(handle_);
    handle_ = kClosed;
    if (::close(fd) != 0) return std::unexpected(base::last_os_error());
    return {};
}

base::Result<AppendFile> create_new(const std::string& name) { return open_append(name, O_CREAT | O_EXCL); }

base::Result<AppendFile> open_existing(const std::string& name) { return open_append(name, 0); }

}  // namespace common::csv_file
