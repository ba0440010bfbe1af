// TagUid, Eui and AppKey: parsing agrees with the codec's model under each type's arguments, the text
// form of any value parses back to it, and a parsed text is written back in its canonical form.

#include <array>
#include <string>
#include <vector>

#include "common/eui.hpp"
#include "common/key.hpp"
#include "fuzz_support.hpp"
#include "hex_model.hpp"
#include "rfid/tag_uid.hpp"

namespace {

template <class Id, std::size_t N>
void check_identifier(const std::string& text, std::optional<char32_t> separator,
                      std::string_view form_separator, bool upper, const std::vector<std::uint8_t>& raw) {
    const auto got = Id::from_str(text);
    const fuzz::HexOutcome want = fuzz::model_parse_hex_bytes(text, N, separator);
    if (want.bytes) {
        FUZZ_CHECK(got && std::vector<std::uint8_t>(got->bytes.begin(), got->bytes.end()) == *want.bytes);
        // The canonical form of the text: its bytes in the type's own notation.
        const std::string canonical = fuzz::model_format_hex(*want.bytes, form_separator, upper);
        if (got->to_string() != canonical) fuzz::explain("text form", got->to_string(), canonical);
        FUZZ_CHECK(got->to_string() == canonical);
    } else {
        FUZZ_CHECK(!got && fuzz::same_error(got.error(), want.error.kind, want.error.message));
    }

    // Any value's text form has the fixed length and parses back to the same value.
    Id value;
    for (std::size_t i = 0; i < N; ++i)
        value.bytes[i] = i < raw.size() ? raw[i] : static_cast<std::uint8_t>(i * 37);
    const std::string form = value.to_string();
    FUZZ_CHECK(form.size() == 3 * N - 1);
    FUZZ_CHECK(form ==
               fuzz::model_format_hex(std::vector<std::uint8_t>(value.bytes.begin(), value.bytes.end()),
                                      form_separator, upper));
    const auto back = Id::from_str(form);
    FUZZ_CHECK(back && *back == value);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::Input in(data, size);
    const std::uint8_t which = in.byte() % 3;
    const std::string text = in.rest();
    const std::vector<std::uint8_t> raw(text.begin(), text.end());
    switch (which) {
        case 0:
            check_identifier<rfid::TagUid, 7>(text, std::nullopt, ":", true, raw);
            break;
        case 1:
            check_identifier<common::Eui, 8>(text, U'-', "-", false, raw);
            break;
        default:
            check_identifier<common::AppKey, 16>(text, std::nullopt, " ", false, raw);
            break;
    }
    return 0;
}
