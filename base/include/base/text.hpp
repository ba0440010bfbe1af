#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace base {

// A number in lower-case hexadecimal without leading zeros ("0" for zero).
[[nodiscard]] inline std::string to_hex_lower(std::uint64_t value) {
    std::string digits;
    do {
        digits.insert(digits.begin(), "0123456789abcdef"[value & 0xF]);
        value >>= 4;
    } while (value != 0);
    return digits;
}

// The pieces of `text` between every `separator`, in order, empty ones included (also those at either
// end): k separators give k + 1 pieces, and an empty text gives one empty piece. The pieces are views
// into `text`.
[[nodiscard]] std::vector<std::string_view> split(std::string_view text, char separator);

}  // namespace base
