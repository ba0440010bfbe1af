#pragma once

#include <functional>
#include <string>

namespace common {

// Today in the computer's time zone as "%Y-%m-%d": the day of the credentials file's name and of the
// report mail. A function object where it is used, so that tests can move the clock.
using DateSource = std::function<std::string()>;
[[nodiscard]] std::string local_date();

}  // namespace common
