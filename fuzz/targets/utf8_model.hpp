#pragma once

// A plain UTF-8 decoder after the table of well-formed byte sequences in the Unicode standard, kept
// apart from the library's so that the two can be compared. A bad sequence is replaced as a whole
// "maximal subpart": the longest start of some well-formed sequence, at least one byte.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace fuzz {

struct ModelChar {
    char32_t code_point;  // U+FFFD for a bad sequence
    std::size_t offset;
    std::size_t length;
    bool valid;
    bool truncated;  // bad only because the text ended inside it
};

struct ByteRange {
    std::uint8_t lo, hi;
};

// Each row: the lead byte range, then the ranges of the bytes that follow it.
struct SequenceRow {
    ByteRange lead;
    std::vector<ByteRange> tail;
};

inline const std::vector<SequenceRow>& sequence_rows() {
    static const std::vector<SequenceRow> rows{
        {{0x00, 0x7F}, {}},
        {{0xC2, 0xDF}, {{0x80, 0xBF}}},
        {{0xE0, 0xE0}, {{0xA0, 0xBF}, {0x80, 0xBF}}},
        {{0xE1, 0xEC}, {{0x80, 0xBF}, {0x80, 0xBF}}},
        {{0xED, 0xED}, {{0x80, 0x9F}, {0x80, 0xBF}}},
        {{0xEE, 0xEF}, {{0x80, 0xBF}, {0x80, 0xBF}}},
        {{0xF0, 0xF0}, {{0x90, 0xBF}, {0x80, 0xBF}, {0x80, 0xBF}}},
        {{0xF1, 0xF3}, {{0x80, 0xBF}, {0x80, 0xBF}, {0x80, 0xBF}}},
        {{0xF4, 0xF4}, {{0x80, 0x8F}, {0x80, 0xBF}, {0x80, 0xBF}}},
    };
    return rows;
}

inline bool in(ByteRange r, std::uint8_t b) { return b >= r.lo && b <= r.hi; }

inline ModelChar model_char_at(std::string_view text, std::size_t pos) {
    const auto at = [&](std::size_t i) { return static_cast<std::uint8_t>(text[i]); };
    for (const SequenceRow& row : sequence_rows()) {
        if (!in(row.lead, at(pos))) continue;
        std::size_t matched = 1;
        while (matched <= row.tail.size() && pos + matched < text.size() &&
               in(row.tail[matched - 1], at(pos + matched)))
            ++matched;
        if (matched == row.tail.size() + 1) {
            // Well formed: the payload bits of the lead and of every continuation byte.
            const int lead_bits[] = {7, 5, 4, 3};
            char32_t cp = at(pos) & ((1u << lead_bits[row.tail.size()]) - 1);
            for (std::size_t i = 1; i < matched; ++i) cp = (cp << 6) | (at(pos + i) & 0x3F);
            return {cp, pos, matched, true, false};
        }
        return {U'\uFFFD', pos, matched, false, pos + matched == text.size()};
    }
    return {U'\uFFFD', pos, 1, false, false};
}

inline std::vector<ModelChar> model_decode(std::string_view text) {
    std::vector<ModelChar> chars;
    for (std::size_t pos = 0; pos < text.size();) {
        chars.push_back(model_char_at(text, pos));
        pos += chars.back().length;
    }
    return chars;
}

// The shortest encoding; the caller passes a scalar value (no surrogate, at most U+10FFFF).
inline std::string model_encode(char32_t cp) {
    std::string out;
    const auto put = [&](unsigned value) { out.push_back(static_cast<char>(value)); };
    if (cp <= 0x7F) {
        put(cp);
    } else if (cp <= 0x7FF) {
        put(0xC0 + (cp / 64));
        put(0x80 + cp % 64);
    } else if (cp <= 0xFFFF) {
        put(0xE0 + cp / 4096);
        put(0x80 + cp / 64 % 64);
        put(0x80 + cp % 64);
    } else {
        put(0xF0 + cp / 262144);
        put(0x80 + cp / 4096 % 64);
        put(0x80 + cp / 64 % 64);
        put(0x80 + cp % 64);
    }
    return out;
}

inline std::string model_lossy(std::string_view text) {
    std::string out;
    for (const ModelChar& c : model_decode(text)) {
        out += c.valid ? std::string(text.substr(c.offset, c.length)) : model_encode(U'\uFFFD');
    }
    return out;
}

}  // namespace fuzz
