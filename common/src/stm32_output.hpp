#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include "base/error.hpp"

namespace common {

// What the programmer tool's output (already decoded, U+FFFD in place of bad bytes) and exit code
// mean. Kept apart from running the tool so that they can be tried on any output without a process.

// The USB listing: true for exactly one device in DFU mode, false for none.
[[nodiscard]] base::Result<bool> usb_listing_verdict(std::string_view output);

// The SWD connection test: true unless the tool reported an error.
[[nodiscard]] bool swd_connect_verdict(std::string_view output);

// Write, verify and start: the exit code and all three success lines must agree. `exit_code` is absent
// when the tool did not end by itself.
[[nodiscard]] base::Result<void> flash_verdict(std::string_view output,
                                               std::optional<std::uint32_t> exit_code);

}  // namespace common
