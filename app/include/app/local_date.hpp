#pragma once

#include <string>

namespace app {

// Today's date in the computer's time zone, "%Y-%m-%d".
[[nodiscard]] std::string local_date_today();

}  // namespace app
