#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace base {

// One step of a UTF-8 walk: the code point at `pos` and how many bytes it took. A byte that starts
// no valid sequence gives U+FFFD and the length of the maximal invalid subpart (at least 1).
struct Utf8Step {
    char32_t code_point;
    std::size_t length;
    bool valid;
};

[[nodiscard]] Utf8Step utf8_next(std::string_view text, std::size_t pos);

// Where the first invalid sequence starts and how long it is; `valid_up_to == text.size()` when the
// whole text is valid. `error_len` is 0 when the text ends inside an incomplete sequence.
struct Utf8Check {
    std::size_t valid_up_to;
    std::size_t error_len;
};

[[nodiscard]] Utf8Check utf8_check(std::string_view text);

// The text with every invalid sequence replaced by U+FFFD.
[[nodiscard]] std::string utf8_lossy(std::string_view bytes);

void append_utf8(std::string& out, char32_t code_point);

}  // namespace base
