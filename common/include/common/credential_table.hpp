#pragma once

#include <string_view>

namespace common {

// The built-in credential table: one ";"-separated line per device of the fleet, each ended by LF.
// Built into the program, so no table is read from disk at run time.
[[nodiscard]] std::string_view credential_table();

}  // namespace common
