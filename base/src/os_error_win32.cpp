#include <windows.h>

#include <string>

#include "base/error.hpp"

namespace base {

namespace {

ErrorKind kind_of(DWORD code) {
    switch (code) {
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
            return ErrorKind::NotFound;
        case ERROR_ACCESS_DENIED:
        case ERROR_SHARING_VIOLATION:
        case ERROR_LOCK_VIOLATION:
            return ErrorKind::PermissionDenied;
        case ERROR_FILE_EXISTS:
        case ERROR_ALREADY_EXISTS:
            return ErrorKind::AlreadyExists;
        case ERROR_DISK_FULL:
        case ERROR_HANDLE_DISK_FULL:
            return ErrorKind::StorageFull;
        case ERROR_WRITE_PROTECT:
            return ErrorKind::ReadOnlyFilesystem;
        case ERROR_BROKEN_PIPE:
        case ERROR_NO_DATA:
            return ErrorKind::BrokenPipe;
        case ERROR_NOT_ENOUGH_MEMORY:
        case ERROR_OUTOFMEMORY:
            return ErrorKind::OutOfMemory;
        case ERROR_INVALID_PARAMETER:
            return ErrorKind::InvalidInput;
        case ERROR_DIRECTORY:
            return ErrorKind::NotADirectory;
        case ERROR_TIMEOUT:
        case WAIT_TIMEOUT:
        case ERROR_SEM_TIMEOUT:
            return ErrorKind::TimedOut;
        default:
            return ErrorKind::Other;
    }
}

}  // namespace

Error os_error(int code) {
    wchar_t* wide = nullptr;
    const DWORD length = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
        static_cast<DWORD>(code), 0, reinterpret_cast<wchar_t*>(&wide), 0, nullptr);
    std::string text;
    if (length > 0) {
        const int bytes =
            WideCharToMultiByte(CP_UTF8, 0, wide, static_cast<int>(length), nullptr, 0, nullptr, nullptr);
        text.resize(static_cast<std::size_t>(bytes));
        WideCharToMultiByte(CP_UTF8, 0, wide, static_cast<int>(length), text.data(), bytes, nullptr, nullptr);
        LocalFree(wide);
        while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' '))
            text.pop_back();
    }
    // A code the system has no text for still says which it is, as strerror does.
    if (text.empty()) text = "Unknown error " + std::to_string(code);
    return Error{kind_of(static_cast<DWORD>(code)), text + " (os error " + std::to_string(code) + ")"};
}

Error last_os_error() { return os_error(static_cast<int>(GetLastError())); }

}  // namespace base
