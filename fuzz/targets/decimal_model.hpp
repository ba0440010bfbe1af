#pragma once

// The unsigned decimal reader as its rules read, with the value kept as a digit text (leading zeros
// dropped) so that no arithmetic can overflow: too large is a longer text, or an equally long one that
// sorts after the maximum.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace fuzz {

enum class NumberFault { None, Empty, InvalidDigit, PosOverflow };

struct ModelNumber {
    NumberFault fault = NumberFault::None;
    std::uint64_t value = 0;
};

inline ModelNumber model_read_unsigned(std::string_view text, std::uint64_t max) {
    if (text.empty()) return {NumberFault::Empty};
    if (text.front() == '+') text.remove_prefix(1);
    if (text.empty()) return {NumberFault::InvalidDigit};
    const std::string limit = std::to_string(max);
    std::string significant;
    for (const char c : text) {
        if (std::string_view("0123456789").find(c) == std::string_view::npos)
            return {NumberFault::InvalidDigit};
        if (significant.empty() && c == '0') continue;
        significant += c;
        if (significant.size() > limit.size() || (significant.size() == limit.size() && significant > limit))
            return {NumberFault::PosOverflow};
    }
    return {NumberFault::None, significant.empty() ? 0 : std::stoull(significant)};
}

inline std::string model_display_text(NumberFault fault) {
    switch (fault) {
        case NumberFault::Empty:
            return "cannot parse integer from empty string";
        case NumberFault::InvalidDigit:
            return "invalid digit found in string";
        case NumberFault::PosOverflow:
            return "number too large to fit in target type";
        case NumberFault::None:
            break;
    }
    return {};
}

inline std::string model_debug_text(NumberFault fault) {
    switch (fault) {
        case NumberFault::Empty:
            return "ParseIntError { kind: Empty }";
        case NumberFault::InvalidDigit:
            return "ParseIntError { kind: InvalidDigit }";
        case NumberFault::PosOverflow:
            return "ParseIntError { kind: PosOverflow }";
        case NumberFault::None:
            break;
    }
    return {};
}

}  // namespace fuzz
