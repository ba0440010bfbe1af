#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

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
    while (!text.empty()) {
        const ssize_t written = ::write(static_cast<int>(handle_), text.data(), text.size());
        if (written < 0) {
            if (errno == EINTR) continue;
            return std::unexpected(base::last_os_error());
        }
        // A write that takes nothing would loop for ever.
        if (written == 0) return std::unexpected(base::os_error(EIO));
        text.remove_prefix(static_cast<std::size_t>(written));
    }
    return {};
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
