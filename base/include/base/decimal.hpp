#pragma once

#include <cstdint>
#include <expected>
#include <string>
#include <string_view>

namespace base {

// Why a decimal number could not be read; the texts are the ones the operator sees in messages.
struct ParseIntError {
    enum class Kind { Empty, InvalidDigit, PosOverflow };
    Kind kind;

    bool operator==(const ParseIntError&) const = default;

    // "cannot parse integer from empty string", ...
    [[nodiscard]] std::string to_string() const;
    // "ParseIntError { kind: Empty }", ...
    [[nodiscard]] std::string debug_string() const;
};

// An unsigned decimal number: an optional single "+", then one or more ASCII digits, nothing else.
[[nodiscard]] std::expected<std::uint8_t, ParseIntError> parse_u8(std::string_view text);
[[nodiscard]] std::expected<std::uint16_t, ParseIntError> parse_u16(std::string_view text);
[[nodiscard]] std::expected<std::uint32_t, ParseIntError> parse_u32(std::string_view text);

}  // namespace base
