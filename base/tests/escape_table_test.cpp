#include <gtest/gtest.h>
#include <unicode/uchar.h>
#include <unicode/uversion.h>

#include <string>

#include "base/text.hpp"
#include "quoted_escape.hpp"

namespace {

// What the quoted form escapes, asked of ICU itself.
bool icu_escapes(UChar32 c) {
    if (u_hasBinaryProperty(c, UCHAR_GRAPHEME_EXTEND)) return true;
    switch (u_charType(c)) {
        case U_CONTROL_CHAR:         // Cc
        case U_FORMAT_CHAR:          // Cf
        case U_SURROGATE:            // Cs
        case U_PRIVATE_USE_CHAR:     // Co
        case U_UNASSIGNED:           // Cn
        case U_LINE_SEPARATOR:       // Zl
        case U_PARAGRAPH_SEPARATOR:  // Zp
            return true;
        case U_SPACE_SEPARATOR:  // Zs
            return c != 0x20;
        default:
            return false;
    }
}

// The built-in table was generated from the Unicode data of the ICU this build links; a newer ICU
// that moved characters shows here, and the table is made again from that version's data.
TEST(EscapeTable, AgreesWithIcuOnEveryCodePoint) {
    UVersionInfo version;
    u_getUnicodeVersion(version);
    char text[U_MAX_VERSION_STRING_LENGTH] = {};
    u_versionToString(version, text);
    int differences = 0;
    for (UChar32 c = 0; c <= 0x10FFFF; ++c) {
        if (base::needs_unicode_escape(static_cast<char32_t>(c)) != icu_escapes(c) && ++differences <= 20) {
            ADD_FAILURE() << "U+" << base::to_hex_lower(static_cast<std::uint32_t>(c)) << ": table says "
                          << base::needs_unicode_escape(static_cast<char32_t>(c)) << ", ICU (Unicode " << text
                          << ") says " << icu_escapes(c);
        }
    }
    EXPECT_EQ(differences, 0);
}

}  // namespace
