#pragma once

#include <cstdint>
#include <span>
#include <string_view>

#include "base/error.hpp"

namespace app {

// Creates or truncates the file `name`, writes all of `bytes` and closes it on every path. The
// operating system's error is passed on; after a failed write the file may hold a part of the bytes.
[[nodiscard]] base::Result<void> write_whole_file(std::string_view name, std::span<const std::uint8_t> bytes);

[[nodiscard]] base::Result<void> remove_file(std::string_view name);

}  // namespace app
