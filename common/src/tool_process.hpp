#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/error.hpp"

class QProcess;
class QString;

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

// Platform parts: keeping the console window of a console tool from popping up, and the operating
// system's own reason why a program did not start.
void hide_console_window(QProcess& process);
[[nodiscard]] base::Error start_failure(std::string_view program, const QString& qt_message);

}  // namespace common
