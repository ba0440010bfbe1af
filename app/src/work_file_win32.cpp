#include <windows.h>

#include <algorithm>
#include <string>

#include "work_file.hpp"

namespace app {

namespace {

// The work file's name is plain ASCII.
std::wstring widen(std::string_view name) { return std::wstring(name.begin(), name.end()); }

}  // namespace

base::Result<void> write_whole_file(std::string_view name, std::span<const std::uint8_t> bytes) {
    const HANDLE file = CreateFileW(widen(name).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return std::unexpected(base::last_os_error());

    std::size_t written = 0;
    while (written < bytes.size()) {
        const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size() - written, 1u << 30));
        DWORD n = 0;
        if (!WriteFile(file, bytes.data() + written, chunk, &n, nullptr)) {
            const base::Error error = base::last_os_error();
            CloseHandle(file);
            return std::unexpected(error);
        }
        if (n == 0) {
            // A write that takes nothing would loop for ever.
            CloseHandle(file);
            return std::unexpected(base::os_error(ERROR_WRITE_FAULT));
        }
        written += n;
    }
    if (!CloseHandle(file)) return std::unexpected(base::last_os_error());
    return {};
}

base::Result<void> remove_file(std::string_view name) {
    if (!DeleteFileW(widen(name).c_str())) return std::unexpected(base::last_os_error());
    return {};
}

}  // namespace app
