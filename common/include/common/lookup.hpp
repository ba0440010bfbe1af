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

// The line without its line end (LF, or CR LF).
[[nodiscard]] base::Result<std::string> find_row_by_tag(const rfid::TagUid& tag, std::string_view table);

// The matching line must parse as a whole under `kind`; a line that fails ends the lookup.
[[nodiscard]] base::Result<DeviceRecord> find_record_by_tag(DeviceKind kind, const rfid::TagUid& tag,
                                                            std::string_view table);
[[nodiscard]] base::Result<DeviceRecord> find_record_by_eui(DeviceKind kind, const Eui& eui,
                                                            std::string_view table);

}  // namespace common
