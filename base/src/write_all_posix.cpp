#include <unistd.h>

#include <cerrno>

#include "base/write_all.hpp"

namespace base {

Result<void> write_all(FileHandle file, std::span<const std::uint8_t> bytes) {
    const int fd = static_cast<int>(file);
    while (!bytes.empty()) {
        const ssize_t written = ::write(fd, bytes.data(), bytes.size());
        if (written < 0) {
            if (errno == EINTR) continue;
            return std::unexpected(last_os_error());
        }
        // A write that takes nothing would loop for ever.
        if (written == 0) return std::unexpected(os_error(EIO));
        bytes = bytes.subspan(static_cast<std::size_t>(written));
    }
    return {};
}

}  // namespace base
