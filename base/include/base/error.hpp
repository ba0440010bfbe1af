#pragma once

#include <expected>
#include <string>
#include <utility>

namespace base {

// The kinds the system makes itself come first; the rest are what an operating-system error maps to,
// so that a passed-on OS error keeps its own kind (a caller tests AlreadyExists, for instance).
enum class ErrorKind {
    NotFound,
    InvalidInput,
    Unsupported,
    Other,
    AlreadyExists,
    PermissionDenied,
    Interrupted,
    TimedOut,
    WouldBlock,
    StorageFull,
    ReadOnlyFilesystem,
    IsADirectory,
    NotADirectory,
    BrokenPipe,
    OutOfMemory,
};

// The message is what the operator reads; the kind is for callers that branch on the cause.
struct Error {
    ErrorKind kind = ErrorKind::Other;
    std::string message;

    bool operator==(const Error&) const = default;
};

template <class T>
using Result = std::expected<T, Error>;

[[nodiscard]] inline std::unexpected<Error> fail(ErrorKind kind, std::string message) {
    return std::unexpected(Error{kind, std::move(message)});
}

// An operating-system error number as an Error: the kind it maps to and the platform's own text,
// followed by the number as " (os error N)".
[[nodiscard]] Error os_error(int code);

// The error of the last failed call on this thread (errno, or GetLastError on Windows).
[[nodiscard]] Error last_os_error();

}  // namespace base
