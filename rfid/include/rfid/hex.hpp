#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "base/error.hpp"

namespace rfid {

// Hex text to exactly `n` bytes: either 2n digits, or n digit pairs with one separator character
// between neighbours. Without a given separator the first one found sets it.
[[nodiscard]] base::Result<std::vector<std::uint8_t>> parse_hex_bytes(std::string_view text, std::size_t n,
                                                                      std::optional<char32_t> separator);

// Exactly 2n hex digits to n bytes; a pair may also be "+" and one digit.
[[nodiscard]] base::Result<std::vector<std::uint8_t>> parse_hex_digits(std::string_view text, std::size_t n);

// parse_hex_bytes into a fixed-size array, for the identifier types.
template <std::size_t N>
[[nodiscard]] base::Result<std::array<std::uint8_t, N>> parse_hex_array(std::string_view text,
                                                                        std::optional<char32_t> separator) {
    const auto bytes = parse_hex_bytes(text, N, separator);
    if (!bytes) return std::unexpected(bytes.error());
    std::array<std::uint8_t, N> out{};
    std::copy(bytes->begin(), bytes->end(), out.begin());
    return out;
}

enum class HexCase { Upper, Lower };

// Each byte as two hex digits, `separator` between neighbours.
[[nodiscard]] std::string format_hex_bytes(std::span<const std::uint8_t> bytes, char separator,
                                           HexCase hex_case);

}  // namespace rfid
