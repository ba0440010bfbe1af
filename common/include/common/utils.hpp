#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

namespace common {

// Index of the first occurrence of `needle` in `haystack` at or after `start`. A plain scan: the
// haystack is one firmware image, searched once per flashing.
[[nodiscard]] std::optional<std::size_t> find_bytes(std::span<const std::uint8_t> haystack,
                                                    std::span<const std::uint8_t> needle, std::size_t start);

}  // namespace common
