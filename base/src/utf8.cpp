#include "base/utf8.hpp"

#include <cstdint>

namespace base {

namespace {

struct LeadRule {
    std::size_t length;             // total sequence length, 0 when the byte cannot start one
    std::uint8_t second_lo = 0x80;  // the second byte's range narrows for a few leads
    std::uint8_t second_hi = 0xBF;
};

LeadRule rule_for(std::uint8_t lead) {
    if (lead < 0x80) return {1};
    if (lead >= 0xC2 && lead <= 0xDF) return {2};
    if (lead == 0xE0) return {3, 0xA0, 0xBF};
    if (lead == 0xED) return {3, 0x80, 0x9F};
    if (lead >= 0xE1 && lead <= 0xEF) return {3};
    if (lead == 0xF0) return {4, 0x90, 0xBF};
    if (lead >= 0xF1 && lead <= 0xF3) return {4};
    if (lead == 0xF4) return {4, 0x80, 0x8F};
    return {0};
}

// The step plus whether the text ended inside the sequence.
struct RawStep {
    Utf8Step step;
    bool truncated;
};

RawStep next_raw(std::string_view text, std::size_t pos) {
    const auto byte = [&](std::size_t i) { return static_cast<std::uint8_t>(text[i]); };
    const std::uint8_t lead = byte(pos);
    const LeadRule rule = rule_for(lead);
    if (rule.length == 0) return {{U'\uFFFD', 1, false}, false};
    if (rule.length == 1) return {{lead, 1, true}, false};

    char32_t cp = lead & (0xFF >> (rule.length + 1));
    for (std::size_t i = 1; i < rule.length; ++i) {
        if (pos + i >= text.size()) return {{U'\uFFFD', i, false}, true};
        const std::uint8_t b = byte(pos + i);
        const std::uint8_t lo = i == 1 ? rule.second_lo : 0x80;
        const std::uint8_t hi = i == 1 ? rule.second_hi : 0xBF;
        if (b < lo || b > hi) return {{U'\uFFFD', i, false}, false};
        cp = (cp << 6) | (b & 0x3F);
    }
    return {{cp, rule.length, true}, false};
}

}  // namespace

Utf8Step utf8_next(std::string_view text, std::size_t pos) { return next_raw(text, pos).step; }

Utf8Check utf8_check(std::string_view text) {
    std::size_t pos = 0;
    while (pos < text.size()) {
        const RawStep raw = next_raw(text, pos);
        if (!raw.step.valid) return {pos, raw.truncated ? 0 : raw.step.length};
        pos += raw.step.length;
    }
    return {text.size(), 0};
}

void append_utf8(std::string& out, char32_t cp) {
    if (cp < 0x80) {
        out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
}

std::string utf8_lossy(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size());
    std::size_t pos = 0;
    while (pos < bytes.size()) {
        const Utf8Step step = utf8_next(bytes, pos);
        if (step.valid) {
            out.append(bytes.substr(pos, step.length));
        } else {
            append_utf8(out, U'\uFFFD');
        }
        pos += step.length;
    }
    return out;
}

}  // namespace base
