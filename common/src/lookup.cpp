#include "common/lookup.hpp"

#include <cstdint>
#include <optional>
#include <span>

#include "common/utils.hpp"

namespace common {

namespace {

std::span<const std::uint8_t> bytes_of(std::string_view text) {
    return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

std::optional<std::string_view> first_line_containing(std::string_view key, std::string_view table) {
    std::size_t begin = 0;
    while (begin < table.size()) {
        const TableLine line = table_line_at(table, begin);
        if (find_bytes(bytes_of(line.text), bytes_of(key), 0)) return line.text;
        begin = line.next;
    }
    return std::nullopt;
}

base::Result<std::string> find_row(const std::string& key, std::string_view table) {
    const auto line = first_line_containing(key, table);
    if (!line) return base::fail(base::ErrorKind::NotFound, "Cannot find " + key);
    return std::string(*line);
}

base::Result<DeviceRecord> record_of_row(DeviceKind kind, const base::Result<std::string>& row) {
    if (!row) return std::unexpected(row.error());
    const auto head = parse_record(kind, *row);
    if (!head) return std::unexpected(head.error());
    return head->device;
}

}  // namespace

TableLine table_line_at(std::string_view table, std::size_t begin) {
    const std::size_t lf = table.find('\n', begin);
    const std::size_t next = lf == std::string_view::npos ? table.size() : lf + 1;
    std::string_view line = table.substr(begin, next - begin);
    if (lf != std::string_view::npos) {
        line.remove_suffix(1);
        // Only a CR right before the LF belongs to the line end; one at the end of an unended last line
        // stays part of it.
        if (line.ends_with('\r')) line.remove_suffix(1);
    }
    return {line, next};
}

base::Result<std::string> find_row_by_tag(const rfid::TagUid& tag, std::string_view table) {
    return find_row(tag.to_string(), table);
}

base::Result<DeviceRecord> find_record_by_tag(DeviceKind kind, const rfid::TagUid& tag,
                                              std::string_view table) {
    return record_of_row(kind, find_row_by_tag(tag, table));
}

base::Result<DeviceRecord> find_record_by_eui(DeviceKind kind, const Eui& eui, std::string_view table) {
    return record_of_row(kind, find_row(eui.to_string(), table));
}

}  // namespace common
