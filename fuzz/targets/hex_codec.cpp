// The hex-text codec against a plain model of its rules, and formatting then parsing gives back the
// bytes.

#include <optional>
#include <string>
#include <vector>

#include "fuzz_support.hpp"
#include "hex_model.hpp"
#include "rfid/hex.hpp"

namespace {

using fuzz::HexOutcome;

bool agrees(const base::Result<std::vector<std::uint8_t>>& got, const HexOutcome& want) {
    if (want.bytes) return got && *got == *want.bytes;
    return !got && fuzz::same_error(got.error(), want.error.kind, want.error.message);
}

std::optional<char32_t> pick_separator(fuzz::Input& in) {
    switch (in.byte() % 6) {
        case 0:
            return std::nullopt;
        case 1:
            return U'-';
        case 2:
            return U':';
        case 3:
            return U' ';
        case 4:
            return static_cast<char32_t>(in.byte());
        default:
            return static_cast<char32_t>(in.u32() % 0x110000);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::Input in(data, size);
    // Byte counts of the identifiers (7, 8, 16) come up often; other small counts too.
    const std::size_t counts[] = {7, 8, 16};
    const std::uint8_t pick = in.byte();
    const std::size_t n = pick < 192 ? counts[pick % 3] : 1 + pick % 20;
    const std::optional<char32_t> separator = pick_separator(in);
    const std::string text = in.rest();

    FUZZ_CHECK(
        agrees(rfid::parse_hex_bytes(text, n, separator), fuzz::model_parse_hex_bytes(text, n, separator)));
    FUZZ_CHECK(agrees(rfid::parse_hex_digits(text, n), fuzz::model_parse_hex_digits(text, n)));

    // Whatever parsed comes back from its canonical forms: plain digits and separated by an ASCII
    // character, in either case.
    if (const auto parsed = rfid::parse_hex_bytes(text, n, separator)) {
        for (const auto hex_case : {rfid::HexCase::Upper, rfid::HexCase::Lower}) {
            const bool upper = hex_case == rfid::HexCase::Upper;
            const char sep = separator && *separator < 0x80 ? static_cast<char>(*separator) : ':';
            const std::string separated = rfid::format_hex_bytes(*parsed, sep, hex_case);
            FUZZ_CHECK(separated == fuzz::model_format_hex(*parsed, std::string(1, sep), upper));
            const auto again = rfid::parse_hex_bytes(separated, n, std::optional<char32_t>(sep));
            FUZZ_CHECK(again && *again == *parsed);
            const std::string plain = fuzz::model_format_hex(*parsed, "", upper);
            const auto plain_again = rfid::parse_hex_bytes(plain, n, separator);
            FUZZ_CHECK(plain_again && *plain_again == *parsed);
        }
    }

    // Any bytes, formatted with any ASCII separator, parse back to themselves.
    const std::vector<std::uint8_t> bytes(text.begin(), text.end());
    if (!bytes.empty()) {
        const char sep = static_cast<char>(pick % 0x80);
        const std::string formatted = rfid::format_hex_bytes(bytes, sep, rfid::HexCase::Lower);
        FUZZ_CHECK(formatted.size() == 3 * bytes.size() - 1);
        const auto back = rfid::parse_hex_bytes(formatted, bytes.size(), std::nullopt);
        FUZZ_CHECK(back && *back == bytes);
    }
    return 0;
}
