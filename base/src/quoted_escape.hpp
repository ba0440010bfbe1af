#pragma once

namespace base {

// Whether the quoted form shows the code point as \u{...}: Grapheme_Extend, or a general category of
// Cc, Cf, Cs, Co, Cn, Zl, Zp, or Zs other than the space. From a table generated out of the Unicode
// data of the Linux build's ICU version, so that no platform needs ICU at run time.
[[nodiscard]] bool needs_unicode_escape(char32_t cp);

}  // namespace base
