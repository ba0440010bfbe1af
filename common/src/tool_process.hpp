#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/error.hpp"

class QProcess;

namespace common {

struct ToolRun {
    // Standard output, decoded as UTF-8 with U+FFFD in place of invalid sequences.
    std::string output;
    // None when the tool did not end by itself (killed by a signal, for instance).
    std::optional<std::uint32_t> exit_code;
};

// Runs `program` with `args`, each handed over as one argument (no shell), with standard input from
// the null device and the caller's working directory and environment; returns once the tool has
// ended and both of its output pipes are drained. Standard error is read but dropped.
[[nodiscard]] base::Result<ToolRun> run_tool(std::string_view program,
                                             const std::vector<std::string_view>& args);

// Platform part: starts the prepared process in a process group of its own, without the console
// window a console tool would open on platforms that have them, and waits until it runs. A start that
// fails gives the operating system's own error, or Qt's text where the system's cannot be had, and
// leaves nothing open behind it.
[[nodiscard]] base::Result<void> start_tool(QProcess& process);

}  // namespace common
