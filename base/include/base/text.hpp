#pragma once

#include <cstdint>
#include <string>

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

}  // namespace base
