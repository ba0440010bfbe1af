#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include "work_file.hpp"

namespace app {

base::Result<void> write_whole_file(std::string_view name, std::span<const std::uint8_t> bytes) {
    const std::string path(name);
    // The file holds a device's secret key until it is removed again: readable by its owner only.
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0) return std::unexpected(base::last_os_error());

    std::size_t written = 0;
    while (written < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + written, bytes.size() - written);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            const base::Error error = base::last_os_error();
            ::close(fd);
            return std::unexpected(error);
        }
        if (n == 0) {
            // A write that takes nothing would loop for ever.
            ::close(fd);
            return std::unexpected(base::os_error(EIO));
        }
        written += static_cast<std::size_t>(n);
    }
    // A failed close can mean the data never reached the file; the tool would flash what is there.
    if (::close(fd) != 0) return std::unexpected(base::last_os_error());
    return {};
}

base::Result<void> remove_file(std::string_view name) {
    if (::unlink(std::string(name).c_str()) != 0) return std::unexpected(base::last_os_error());
    return {};
}

}  // namespace app
