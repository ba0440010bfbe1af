#pragma once

// The hex-text codec as its rules read, written plainly: the lengths in bytes, the separated form
// walked by characters, and the three checks in their order.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/error.hpp"
#include "utf8_model.hpp"

namespace fuzz {

struct HexOutcome {
    std::optional<std::vector<std::uint8_t>> bytes;
    base::Error error;  // when `bytes` is absent
};

inline int model_hex_value(char c) {
    static const std::string_view digits = "0123456789abcdef";
    for (std::size_t i = 0; i < digits.size(); ++i) {
        if (c == digits[i] || (i >= 10 && c == digits[i] - 'a' + 'A')) return static_cast<int>(i);
    }
    return -1;
}

inline HexOutcome model_hex_failure(std::string message) {
    return {std::nullopt, base::Error{base::ErrorKind::InvalidInput, std::move(message)}};
}

inline HexOutcome model_parse_hex_digits(std::string_view text, std::size_t n) {
    if (text.size() != 2 * n)
        return model_hex_failure(std::string(text) + " is not of length " + std::to_string(2 * n));
    for (const char c : text) {
        if (static_cast<unsigned char>(c) > 0x7F)
            return model_hex_failure("Cannot parse " + std::string(text));
    }
    std::vector<std::uint8_t> bytes;
    for (std::size_t i = 0; i < n; ++i) {
        const char first = text[2 * i];
        const int low = model_hex_value(text[2 * i + 1]);
        const int high = first == '+' ? 0 : model_hex_value(first);
        if (low < 0 || high < 0) return model_hex_failure("Cannot parse " + std::string(text));
        bytes.push_back(static_cast<std::uint8_t>(high * 16 + low));
    }
    return {bytes, {}};
}

inline HexOutcome model_parse_hex_bytes(std::string_view text, std::size_t n,
                                        std::optional<char32_t> separator) {
    if (text.size() + 1 != 3 * n) return model_parse_hex_digits(text, n);
    std::string digits;
    std::size_t count = 0;
    for (const ModelChar& c : model_decode(text)) {
        ++count;
        if (count % 3 != 0) {
            digits += text.substr(c.offset, c.length);
            continue;
        }
        if (!separator) separator = c.code_point;
        if (*separator != c.code_point)
            return model_hex_failure(std::string(text) + " has inconsistent padding");
    }
    return model_parse_hex_digits(digits, n);
}

// Each byte as two digits of the given case, `separator` (if any) between neighbours.
inline std::string model_format_hex(const std::vector<std::uint8_t>& bytes, std::string_view separator,
                                    bool upper) {
    const char* digits = upper ? "0123456789ABCDEF" : "0123456789abcdef";
    std::string out;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (i > 0) out += separator;
        out += digits[bytes[i] / 16];
        out += digits[bytes[i] % 16];
    }
    return out;
}

}  // namespace fuzz
