#pragma once

#include <cstdint>
#include <span>
#include <string_view>

#include "base/error.hpp"

namespace base {

// An open file of the operating system: a descriptor on POSIX, a HANDLE on Windows.
using FileHandle = std::intptr_t;

// Writes all of `bytes` to the file, at its position or, for a file opened for appending, at its
// end. A short write is taken as a reason to go on, not as the end: it is the next write that says
// why the rest does not fit. On failure, what was written before it stays in the file.
[[nodiscard]] Result<void> write_all(FileHandle file, std::span<const std::uint8_t> bytes);

[[nodiscard]] inline Result<void> write_all(FileHandle file, std::string_view text) {
    return write_all(file, {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()});
}

}  // namespace base
