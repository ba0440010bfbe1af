#include "base/decimal.hpp"

#include <limits>

namespace base {

namespace {

template <class T>
std::expected<T, ParseIntError> parse_unsigned(std::string_view text) {
    using Kind = ParseIntError::Kind;
    if (text.empty()) return std::unexpected(ParseIntError{Kind::Empty});
    std::string_view digits = text;
    if (digits.front() == '+') {
        digits.remove_prefix(1);
        if (digits.empty()) return std::unexpected(ParseIntError{Kind::InvalidDigit});
    }
    // Read from the left so that the first fault met decides: "9999x" for a u8 is an overflow.
    constexpr auto max = std::numeric_limits<T>::max();
    std::uint64_t value = 0;
    for (const char c : digits) {
        if (c < '0' || c > '9') return std::unexpected(ParseIntError{Kind::InvalidDigit});
        value = value * 10 + static_cast<std::uint64_t>(c - '0');
        if (value > max) return std::unexpected(ParseIntError{Kind::PosOverflow});
    }
    return static_cast<T>(value);
}

}  // namespace

std::string ParseIntError::to_string() const {
    switch (kind) {
        case Kind::Empty:
            return "cannot parse integer from empty string";
        case Kind::InvalidDigit:
            return "invalid digit found in string";
        case Kind::PosOverflow:
            return "number too large to fit in target type";
    }
    return {};
}

std::string ParseIntError::debug_string() const {
    switch (kind) {
        case Kind::Empty:
            return "ParseIntError { kind: Empty }";
        case Kind::InvalidDigit:
            return "ParseIntError { kind: InvalidDigit }";
        case Kind::PosOverflow:
            return "ParseIntError { kind: PosOverflow }";
    }
    return {};
}

std::expected<std::uint8_t, ParseIntError> parse_u8(std::string_view text) {
    return parse_unsigned<std::uint8_t>(text);
}
std::expected<std::uint16_t, ParseIntError> parse_u16(std::string_view text) {
    return parse_unsigned<std::uint16_t>(text);
}
std::expected<std::uint32_t, ParseIntError> parse_u32(std::string_view text) {
    return parse_unsigned<std::uint32_t>(text);
}

}  // namespace base
