#include "base/quoted.hpp"

#include <algorithm>

#include "base/text.hpp"
#include "base/utf8.hpp"
#include "escape_table.hpp"
#include "quoted_escape.hpp"

namespace base {

bool needs_unicode_escape(char32_t cp) {
    const auto& table = escape_table::ESCAPED;
    // The first range that does not end before the code point is the only one that can hold it.
    const auto range = std::ranges::lower_bound(table, cp, {}, &escape_table::Range::last);
    return range != table.end() && range->first <= cp;
}

namespace {

template <class Texts>
std::string join_quoted(const Texts& texts) {
    std::string out = "[";
    bool first = true;
    for (const auto& text : texts) {
        if (!first) out += ", ";
        first = false;
        out += quoted(text);
    }
    out += "]";
    return out;
}

}  // namespace

std::string quoted(std::string_view text) {
    std::string out = "\"";
    std::size_t pos = 0;
    while (pos < text.size()) {
        const Utf8Step step = utf8_next(text, pos);
        const char32_t cp = step.code_point;
        switch (cp) {
            case U'\0':
                out += "\\0";
                break;
            case U'\t':
                out += "\\t";
                break;
            case U'\r':
                out += "\\r";
                break;
            case U'\n':
                out += "\\n";
                break;
            case U'\\':
                out += "\\\\";
                break;
            case U'"':
                out += "\\\"";
                break;
            default:
                if (needs_unicode_escape(cp)) {
                    out += "\\u{";
                    out += to_hex_lower(static_cast<std::uint32_t>(cp));
                    out += "}";
                } else {
                    append_utf8(out, cp);
                }
        }
        pos += step.length;
    }
    out += "\"";
    return out;
}

std::string quoted_list(std::span<const std::string_view> texts) { return join_quoted(texts); }
std::string quoted_list(std::span<const std::string> texts) { return join_quoted(texts); }

}  // namespace base
