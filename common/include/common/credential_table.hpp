#pragma once

#include <string_view>

namespace common {

// The default credential table (data/credential_table.txt), our table of test devices: one
// ";"-separated line per device, each ended by LF. The tests look devices up in it; a station program
// carries the table it was built with instead (STATION_CREDENTIAL_TABLE, by default this one).
[[nodiscard]] std::string_view credential_table();

}  // namespace common
