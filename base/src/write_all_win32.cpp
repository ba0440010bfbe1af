#include <windows.h>

#include <algorithm>

#include "base/write_all.hpp"

namespace base {

Result<void> write_all(FileHandle file, std::span<const std::uint8_t> bytes) {
    const HANDLE handle = reinterpret_cast<HANDLE>(file);
    while (!bytes.empty()) {
        // One call takes at most a DWORD's worth; a gigabyte at a time stays well inside it.
        const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size(), std::size_t{1} << 30));
        DWORD written = 0;
        if (!WriteFile(handle, bytes.data(), chunk, &written, nullptr))
            return std::unexpected(last_os_error());
        // A write that takes nothing would loop for ever.
        if (written == 0) return std::unexpected(os_error(ERROR_WRITE_FAULT));
        bytes = bytes.subspan(written);
    }
    return {};
}

}  // namespace base
