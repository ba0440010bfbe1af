// The lookups against a plain model: cut the table after each LF, drop the line end (LF, or CR LF),
// take the first line that holds the key's text form. The byte search against a naive one.

#include "common/lookup.hpp"

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include "common/utils.hpp"
#include "fuzz_support.hpp"

namespace {

std::vector<std::string> model_lines(const std::string& table) {
    std::vector<std::string> lines;
    std::string piece;
    for (const char c : table) {
        if (c != '\n') {
            piece += c;
            continue;
        }
        if (!piece.empty() && piece.back() == '\r') piece.pop_back();
        lines.push_back(piece);
        piece.clear();
    }
    if (!piece.empty()) lines.push_back(piece);
    return lines;
}

std::optional<std::string> model_find(const std::string& key, const std::string& table) {
    for (const std::string& line : model_lines(table)) {
        if (line.find(key) != std::string::npos) return line;
    }
    return std::nullopt;
}

std::optional<std::size_t> model_find_bytes(const std::vector<std::uint8_t>& haystack,
                                            const std::vector<std::uint8_t>& needle, std::size_t start) {
    for (std::size_t i = start; i + needle.size() <= haystack.size(); ++i) {
        if (std::equal(needle.begin(), needle.end(), haystack.begin() + static_cast<std::ptrdiff_t>(i)))
            return i;
    }
    return std::nullopt;
}

void check_record(const base::Result<common::DeviceRecord>& got, const std::optional<std::string>& line,
                  common::DeviceKind kind, const std::string& key) {
    if (!line) {
        FUZZ_CHECK(!got && fuzz::same_error(got.error(), base::ErrorKind::NotFound, "Cannot find " + key));
        return;
    }
    const auto head = common::parse_record(kind, *line);
    FUZZ_CHECK(got.has_value() == head.has_value());
    FUZZ_CHECK(got ? *got == head->device : got.error() == head.error());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::Input in(data, size);
    const std::uint8_t mode = in.byte();
    const auto kind = static_cast<common::DeviceKind>(mode % 4);
    rfid::TagUid tag;
    for (auto& b : tag.bytes) b = in.byte();
    common::Eui eui;
    for (auto& b : eui.bytes) b = in.byte();
    const std::uint8_t where = in.byte();
    std::string table = in.rest();

    // Put a key's text into the table now and then, so that lookups find something.
    if (mode & 0x10) table.insert(where % (table.size() + 1), tag.to_string());
    if (mode & 0x20) table.insert(where * 7 % (table.size() + 1), eui.to_string());

    const auto tag_line = model_find(tag.to_string(), table);
    const auto row = common::find_row_by_tag(tag, table);
    if (tag_line) {
        FUZZ_CHECK(row && *row == *tag_line);
    } else {
        FUZZ_CHECK(!row && fuzz::same_error(row.error(), base::ErrorKind::NotFound,
                                            "Cannot find " + tag.to_string()));
    }
    check_record(common::find_record_by_tag(kind, tag, table), tag_line, kind, tag.to_string());
    check_record(common::find_record_by_eui(kind, eui, table), model_find(eui.to_string(), table), kind,
                 eui.to_string());

    // The byte search: the table as haystack, a piece of it or the key as needle, any start.
    const std::vector<std::uint8_t> haystack(table.begin(), table.end());
    const std::string key = tag.to_string();
    std::vector<std::uint8_t> needle(key.begin(), key.begin() + (where % 21));
    if (mode & 0x40 && !haystack.empty()) {
        const std::size_t from = where % haystack.size();
        needle.assign(
            haystack.begin() + static_cast<std::ptrdiff_t>(from),
            haystack.begin() + static_cast<std::ptrdiff_t>(std::min(haystack.size(), from + mode % 9)));
    }
    for (const std::size_t start :
         {std::size_t{0}, std::size_t{where}, haystack.size(), haystack.size() + 1}) {
        FUZZ_CHECK(common::find_bytes(haystack, needle, start) == model_find_bytes(haystack, needle, start));
    }
    return 0;
}
