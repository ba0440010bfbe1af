#include <windows.h>

#include "csv_file.hpp"

namespace common::csv_file {

namespace {

std::wstring wide(const std::string& text) {
    const int length =
        MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring out(static_cast<std::size_t>(length), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), length);
    return out;
}

base::Result<AppendFile> open_append(const std::string& name, DWORD disposition) {
    const HANDLE handle = CreateFileW(wide(name).c_str(), FILE_APPEND_DATA | SYNCHRONIZE,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                      disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return std::unexpected(base::last_os_error());
    return AppendFile(reinterpret_cast<std::intptr_t>(handle));
}

}  // namespace

AppendFile::~AppendFile() {
    if (handle_ != kClosed) CloseHandle(reinterpret_cast<HANDLE>(handle_));
}

base::Result<void> AppendFile::append(std::string_view text) {
    while (!text.empty()) {
        const DWORD chunk = text.size() > 0x40000000 ? 0x40000000 : static_cast<DWORD>(text.size());
        DWORD written = 0;
        if (!WriteFile(reinterpret_cast<HANDLE>(handle_), text.data(), chunk, &written, nullptr)) {
            return std::unexpected(base::last_os_error());
        }
        // A write that takes nothing would loop for ever.
        if (written == 0) return std::unexpected(base::os_error(ERROR_WRITE_FAULT));
        text.remove_prefix(written);
    }
    return {};
}

base::Result<void> AppendFile::close() {
    if (handle_ == kClosed) return {};
    const HANDLE handle = reinterpret_cast<HANDLE>(handle_);
    handle_ = kClosed;
    if (!CloseHandle(handle)) return std::unexpected(base::last_os_error());
    return {};
}

base::Result<AppendFile> create_new(const std::string& name) { return open_append(name, CREATE_NEW); }

base::Result<AppendFile> open_existing(const std::string& name) { return open_append(name, OPEN_EXISTING); }

}  // namespace common::csv_file
