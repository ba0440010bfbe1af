// The quoted form against a plain model of its rules, and reading the quoted form back gives the text
// (with U+FFFD for bad bytes, as the walk decodes them); a list is its texts' quoted forms joined.

#include "base/quoted.hpp"

#include <unicode/uchar.h>

#include <string>
#include <vector>

#include "base/utf8.hpp"
#include "fuzz_support.hpp"
#include "utf8_model.hpp"

namespace {

bool escaped_by_property(char32_t cp) {
    const auto c = static_cast<UChar32>(cp);
    if (u_hasBinaryProperty(c, UCHAR_GRAPHEME_EXTEND)) return true;
    const std::int8_t type = u_charType(c);
    for (const std::int8_t listed : {U_CONTROL_CHAR, U_FORMAT_CHAR, U_SURROGATE, U_PRIVATE_USE_CHAR,
                                     U_UNASSIGNED, U_LINE_SEPARATOR, U_PARAGRAPH_SEPARATOR}) {
        if (type == listed) return true;
    }
    return type == U_SPACE_SEPARATOR && cp != U' ';
}

std::string model_quoted(std::string_view text) {
    std::string out = "\"";
    for (const fuzz::ModelChar& c : fuzz::model_decode(text)) {
        const char32_t cp = c.code_point;
        if (cp == 0) {
            out += "\\0";
        } else if (cp == U'\t') {
            out += "\\t";
        } else if (cp == U'\r') {
            out += "\\r";
        } else if (cp == U'\n') {
            out += "\\n";
        } else if (cp == U'\\' || cp == U'"') {
            out += '\\';
            out += static_cast<char>(cp);
        } else if (escaped_by_property(cp)) {
            char hex[16];
            std::snprintf(hex, sizeof hex, "%x", static_cast<unsigned>(cp));
            out += "\\u{" + std::string(hex) + "}";
        } else {
            out += fuzz::model_encode(cp);
        }
    }
    return out + "\"";
}

// Reads a quoted form back; false when it is not one (an unknown escape, a bare quote inside, a
// character that should have been escaped standing as itself).
bool unquote(std::string_view quoted, std::string& text) {
    if (quoted.size() < 2 || quoted.front() != '"' || quoted.back() != '"') return false;
    const std::string_view body = quoted.substr(1, quoted.size() - 2);
    const auto chars = fuzz::model_decode(body);
    for (std::size_t i = 0; i < chars.size(); ++i) {
        const char32_t cp = chars[i].code_point;
        if (!chars[i].valid || cp == U'"') return false;
        if (cp != U'\\') {
            if (cp < 0x20 || cp == 0x7F || escaped_by_property(cp)) return false;
            text += fuzz::model_encode(cp);
            continue;
        }
        if (++i == chars.size()) return false;
        switch (chars[i].code_point) {
            case U'0':
                text += '\0';
                break;
            case U't':
                text += '\t';
                break;
            case U'r':
                text += '\r';
                break;
            case U'n':
                text += '\n';
                break;
            case U'\\':
            case U'"':
                text += static_cast<char>(chars[i].code_point);
                break;
            case U'u': {
                if (++i == chars.size() || chars[i].code_point != U'{') return false;
                char32_t value = 0;
                std::size_t digits = 0;
                while (++i < chars.size() && chars[i].code_point != U'}') {
                    const char32_t d = chars[i].code_point;
                    const bool digit = (d >= U'0' && d <= U'9') || (d >= U'a' && d <= U'f');
                    // Lower-case digits without leading zeros.
                    if (!digit || (digits == 0 && d == U'0') || ++digits > 6) return false;
                    value = value * 16 + (d <= U'9' ? d - U'0' : d - U'a' + 10);
                }
                if (i == chars.size() || digits == 0 || value > 0x10FFFF || !escaped_by_property(value))
                    return false;
                text += fuzz::model_encode(value);
                break;
            }
            default:
                return false;
        }
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    const std::string quoted = base::quoted(text);
    if (quoted != model_quoted(text)) fuzz::explain("quoted form", quoted, model_quoted(text));
    FUZZ_CHECK(quoted == model_quoted(text));
    FUZZ_CHECK(base::utf8_check(quoted).valid_up_to == quoted.size());
    std::string back;
    FUZZ_CHECK(unquote(quoted, back));
    FUZZ_CHECK(back == base::utf8_lossy(text));

    // The text cut at every ";" as a list: "[", the quoted pieces joined by ", ", "]".
    std::vector<std::string> pieces;
    std::vector<std::string_view> views;
    std::size_t begin = 0;
    for (;;) {
        const std::size_t end = text.find(';', begin);
        pieces.push_back(text.substr(begin, end == std::string::npos ? std::string::npos : end - begin));
        if (end == std::string::npos) break;
        begin = end + 1;
    }
    std::string want = "[";
    for (std::size_t i = 0; i < pieces.size(); ++i) want += (i ? ", " : "") + model_quoted(pieces[i]);
    want += "]";
    views.assign(pieces.begin(), pieces.end());
    FUZZ_CHECK(base::quoted_list(pieces) == want);
    FUZZ_CHECK(base::quoted_list(views) == want);
    return 0;
}
