#pragma once

#include <string>
#include <string_view>

#include "base/error.hpp"
#include "common/article.hpp"
#include "common/eui.hpp"
#include "common/record.hpp"
#include "rfid/tag_uid.hpp"

namespace common {

// Every lookup scans the table from its first line and returns the first line that holds the key's
// text form anywhere in it; the table has a few hundred lines, so there is no index to keep in step.

// One line of a table as every lookup cuts it: from `begin` up to the next LF, without the LF and a CR
// right before it (a CR at the end of an unended last line stays); `next` is where the line after it
// begins, the table's size after the last one.
struct TableLine {
    std::string_view text;
    std::size_t next = 0;
};
[[nodiscard]] TableLine table_line_at(std::string_view table, std::size_t begin);

// The line without its line end (LF, or CR LF).
[[nodiscard]] base::Result<std::string> find_row_by_tag(const rfid::TagUid& tag, std::string_view table);

// The matching line must parse as a whole under `kind`; a line that fails ends the lookup.
[[nodiscard]] base::Result<DeviceRecord> find_record_by_tag(DeviceKind kind, const rfid::TagUid& tag,
                                                            std::string_view table);
[[nodiscard]] base::Result<DeviceRecord> find_record_by_eui(DeviceKind kind, const Eui& eui,
                                                            std::string_view table);

}  // namespace common
