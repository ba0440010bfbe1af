#include <fcntl.h>
#include <unistd.h>

#include <string>

#include "base/write_all.hpp"
#include "work_file.hpp"

namespace app {

base::Result<void> write_whole_file(std::string_view name, std::span<const std::uint8_t> bytes) {
    const std::string path(name);
    // The file holds a device's secret key until it is removed again: readable by its owner only.
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0) return std::unexpected(base::last_os_error());

    const auto written = base::write_all(fd, bytes);
    if (!written) {
        ::close(fd);
        return written;
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
