#include <cerrno>
#include <cstring>
#include <string>

#include "base/error.hpp"

namespace base {

namespace {

ErrorKind kind_of(int code) {
    switch (code) {
        case ENOENT:
            return ErrorKind::NotFound;
        case EACCES:
        case EPERM:
            return ErrorKind::PermissionDenied;
        case EEXIST:
            return ErrorKind::AlreadyExists;
        case EINTR:
            return ErrorKind::Interrupted;
        case ETIMEDOUT:
            return ErrorKind::TimedOut;
        case EAGAIN:
            return ErrorKind::WouldBlock;
        case ENOSPC:
            return ErrorKind::StorageFull;
        case EROFS:
            return ErrorKind::ReadOnlyFilesystem;
        case EISDIR:
            return ErrorKind::IsADirectory;
        case ENOTDIR:
            return ErrorKind::NotADirectory;
        case EPIPE:
            return ErrorKind::BrokenPipe;
        case ENOMEM:
            return ErrorKind::OutOfMemory;
        case EINVAL:
            return ErrorKind::InvalidInput;
        default:
            return ErrorKind::Other;
    }
}

}  // namespace

Error os_error(int code) {
    char buffer[256] = {};
    // The GNU strerror_r may return a static string instead of filling the buffer.
    const char* text = strerror_r(code, buffer, sizeof buffer);
    return Error{kind_of(code), std::string(text) + " (os error " + std::to_string(code) + ")"};
}

Error last_os_error() { return os_error(errno); }

}  // namespace base
