// UTF-8 decoding against a plain decoder after the standard's table of well-formed sequences: every
// step, the first fault and the lossy text agree, and every scalar value encodes and decodes back.

#include "base/utf8.hpp"

#include <string>

#include "fuzz_support.hpp"
#include "utf8_model.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    const auto chars = fuzz::model_decode(text);

    // Walking the text step by step meets the model's characters.
    for (const fuzz::ModelChar& want : chars) {
        const base::Utf8Step got = base::utf8_next(text, want.offset);
        FUZZ_CHECK(got.code_point == want.code_point && got.length == want.length && got.valid == want.valid);
    }

    // The first fault: where it starts and, unless the text ends inside it, how long it is.
    base::Utf8Check want_check{text.size(), 0};
    for (const fuzz::ModelChar& c : chars) {
        if (!c.valid) {
            want_check = {c.offset, c.truncated ? 0 : c.length};
            break;
        }
    }
    const base::Utf8Check check = base::utf8_check(text);
    FUZZ_CHECK(check.valid_up_to == want_check.valid_up_to && check.error_len == want_check.error_len);

    // The lossy text replaces each bad sequence by one U+FFFD, is itself valid, and stays as it is.
    const std::string lossy = base::utf8_lossy(text);
    FUZZ_CHECK(lossy == fuzz::model_lossy(text));
    FUZZ_CHECK(base::utf8_check(lossy).valid_up_to == lossy.size());
    FUZZ_CHECK(base::utf8_lossy(lossy) == lossy);
    if (check.valid_up_to == text.size()) FUZZ_CHECK(lossy == text);

    // Scalar values taken from the input encode in their shortest form and decode back.
    for (std::size_t i = 0; i + 3 < size; i += 4) {
        char32_t cp = (static_cast<char32_t>(data[i]) << 24 | static_cast<char32_t>(data[i + 1]) << 16 |
                       static_cast<char32_t>(data[i + 2]) << 8 | data[i + 3]) %
                      0x110000;
        if (cp >= 0xD800 && cp <= 0xDFFF) cp -= 0x800;
        std::string encoded;
        base::append_utf8(encoded, cp);
        FUZZ_CHECK(encoded == fuzz::model_encode(cp));
        const base::Utf8Step step = base::utf8_next(encoded, 0);
        FUZZ_CHECK(step.valid && step.code_point == cp && step.length == encoded.size());
    }
    return 0;
}
