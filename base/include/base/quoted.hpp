#pragma once

#include <span>
#include <string>
#include <string_view>

namespace base {

// The quoted form of a text, as messages show a value: inside double quotes, with control, format,
// separator, unassigned and combining characters escaped so that nothing invisible hides in it.
[[nodiscard]] std::string quoted(std::string_view text);

// "[" + the quoted texts joined by ", " + "]".
[[nodiscard]] std::string quoted_list(std::span<const std::string_view> texts);
[[nodiscard]] std::string quoted_list(std::span<const std::string> texts);

}  // namespace base
