#include "rfid/hex.hpp"

#include <string>

#include "base/utf8.hpp"

namespace rfid {

namespace {

int hex_value(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// A pair as an unsigned base-16 number: two digits, or "+" and one digit.
std::optional<std::uint8_t> read_pair(char first, char second) {
    const int low = hex_value(second);
    if (low < 0) return std::nullopt;
    if (first == '+') return static_cast<std::uint8_t>(low);
    const int high = hex_value(first);
    if (high < 0) return std::nullopt;
    return static_cast<std::uint8_t>(high * 16 + low);
}

}  // namespace

base::Result<std::vector<std::uint8_t>> parse_hex_digits(std::string_view text, std::size_t n) {
    if (text.size() != 2 * n) {
        return base::fail(base::ErrorKind::InvalidInput,
                          std::string(text) + " is not of length " + std::to_string(2 * n));
    }
    const auto cannot_parse = [&] {
        return base::fail(base::ErrorKind::InvalidInput, "Cannot parse " + std::string(text));
    };
    for (const char c : text) {
        if (static_cast<unsigned char>(c) >= 0x80) return cannot_parse();
    }
    std::vector<std::uint8_t> bytes;
    bytes.reserve(n);
    for (std::size_t i = 0; i < n; ++i) {
        const auto value = read_pair(text[2 * i], text[2 * i + 1]);
        if (!value) return cannot_parse();
        bytes.push_back(*value);
    }
    return bytes;
}

base::Result<std::vector<std::uint8_t>> parse_hex_bytes(std::string_view text, std::size_t n,
                                                        std::optional<char32_t> separator) {
    if (n == 0 || text.size() != 3 * n - 1) return parse_hex_digits(text, n);

    // Lengths are measured in bytes, but the walk goes by characters: a non-ASCII character counts
    // once, so its bytes never land half on a separator place.
    std::string digits;
    std::size_t count = 0;
    for (std::size_t pos = 0; pos < text.size();) {
        const base::Utf8Step step = base::utf8_next(text, pos);
        ++count;
        if (count % 3 == 0) {
            if (!separator) {
                separator = step.code_point;
            } else if (*separator != step.code_point) {
                return base::fail(base::ErrorKind::InvalidInput,
                                  std::string(text) + " has inconsistent padding");
            }
        } else {
            digits.append(text.substr(pos, step.length));
        }
        pos += step.length;
    }
    return parse_hex_digits(digits, n);
}

std::string format_hex_bytes(std::span<const std::uint8_t> bytes, char separator, HexCase hex_case) {
    const char* digits = hex_case == HexCase::Upper ? "0123456789ABCDEF" : "0123456789abcdef";
    std::string text;
    text.reserve(bytes.size() * 3);
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (i > 0) text += separator;
        text += digits[bytes[i] >> 4];
        text += digits[bytes[i] & 0x0F];
    }
    return text;
}

}  // namespace rfid
