#include <windows.h>

#include "base/write_all.hpp"
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

// Whatever part of a failed append reached the file goes again, so that the file ends where it ended
// and the next line does not run on from a fragment. The append handle may only add to the file, so
// the cut goes through a second handle to the same file. The length is taken just before the write,
// and the file is shared without a lock: a line another program appends in that moment would go too,
// a far smaller risk than a fragment at every full disk. The write's error is the one to report.
void cut_back(HANDLE append_handle, LARGE_INTEGER length) {
    const HANDLE handle =
        ReOpenFile(append_handle, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, 0);
    if (handle == INVALID_HANDLE_VALUE) return;
    if (SetFilePointerEx(handle, length, nullptr, FILE_BEGIN)) SetEndOfFile(handle);
    CloseHandle(handle);
}

}  // namespace

AppendFile::~AppendFile() {
    if (handle_ != kClosed) CloseHandle(reinterpret_cast<HANDLE>(handle_));
}

base::Result<void> AppendFile::append(std::string_view text) {
    if (text.empty()) return {};
    const HANDLE handle = reinterpret_cast<HANDLE>(handle_);
    LARGE_INTEGER before{};
    if (!GetFileSizeEx(handle, &before)) return std::unexpected(base::last_os_error());
    const auto written = base::write_all(handle_, text);
    if (!written) cut_back(handle, before);
    return written;
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
