#include "common/stm32_programmer.hpp"

#include <cstdio>
#include <string>
#include <vector>

#include "base/decimal.hpp"
#include "base/quoted.hpp"
#include "tool_process.hpp"

namespace common {

namespace {

constexpr std::string_view NO_DEVICE_TEXT = "No STM32 device";
constexpr std::string_view SWD_ERROR_TEXT = "Error";
constexpr std::string_view FLASH_SUCCESS_TEXTS[] = {
    "File download complete",
    "Download verified successfully",
    "Start operation achieved successfully",
};

// Only the first two kinds come up in DFU mode over USB; the later ones are reached over SWD.
bool uses_usb(DeviceKind kind) { return kind == DeviceKind::Valve || kind == DeviceKind::KX; }

bool contains(std::string_view text, std::string_view part) {
    return text.find(part) != std::string_view::npos;
}

// A windowed program may have no standard output at all; the progress lines are then lost, quietly.
void progress(const char* text) {
    std::fputs(text, stdout);
    std::fflush(stdout);
}

base::Error unexpected_response(const std::string& detail) {
    return base::Error{base::ErrorKind::Other, "Unexpected response from STM32:\n" + detail};
}

}  // namespace

base::Result<bool> probe_device(DeviceKind kind, std::string_view program) {
    return uses_usb(kind) ? stm32_probe_usb(program) : stm32_probe_swd(program);
}

base::Result<void> flash_device(DeviceKind kind, std::string_view path, std::string_view program) {
    return stm32_flash(uses_usb(kind), path, program);
}

base::Result<bool> stm32_probe_usb(std::string_view program) {
    const auto run = run_tool(program, {"--list", "usb"});
    if (!run) return std::unexpected(run.error());
    const std::string_view text = run->output;

    if (contains(text, NO_DEVICE_TEXT)) return false;
    const auto marker = text.find(DFU_COUNT_MARKER);
    if (marker == std::string_view::npos) return std::unexpected(unexpected_response(base::quoted(text)));

    // The tool ends its lines with CRLF, so only a carriage return ends the count; a bare line feed
    // stays in the count text and makes it unreadable.
    const auto begin = marker + DFU_COUNT_MARKER.size();
    const auto end = text.find('\r', begin);
    const auto count = base::parse_u8(text.substr(begin, end == std::string_view::npos ? end : end - begin));
    if (!count) return std::unexpected(unexpected_response(count.error().debug_string()));

    if (*count == 0) return false;
    if (*count == 1) return true;
    return base::fail(base::ErrorKind::Other, "Looking for 1 device connected through USB, found " +
                                                  std::to_string(*count) +
                                                  "\nCannot know which one to connect to");
}

base::Result<bool> stm32_probe_swd(std::string_view program) {
    const auto run = run_tool(program, {"--connect", "port=SWD", "mode=UR"});
    if (!run) return std::unexpected(run.error());
    return !contains(run->output, SWD_ERROR_TEXT);
}

base::Result<void> stm32_flash(bool usb, std::string_view path, std::string_view program) {
    progress("Flashing...\n");

    std::vector<std::string_view> args{"--connect"};
    if (usb) {
        args.insert(args.end(), {"port=USB1"});
    } else {
        args.insert(args.end(), {"port=SWD", "mode=UR"});
    }
    args.insert(args.end(),
                {"--write", path, FLASH_ADDRESS, "--verify", "--start", FLASH_ADDRESS, "--quietMode"});

    const auto run = run_tool(program, args);
    if (!run) return std::unexpected(run.error());

    // Runs that printed every success line and still ended with 1 have been seen: the code and all
    // three lines must agree.
    bool succeeded = run->exit_code == 0u;
    for (const std::string_view text : FLASH_SUCCESS_TEXTS)
        succeeded = succeeded && contains(run->output, text);
    if (!succeeded)
        return base::fail(base::ErrorKind::Other, "Failed to flash:\n" + base::quoted(run->output));

    progress("Flashing complete\n");
    return {};
}

}  // namespace common
