#include "common/stm32_programmer.hpp"

#include <cstdio>
#include <string>
#include <vector>

#include "stm32_output.hpp"
#include "tool_process.hpp"

namespace common {

namespace {

// Only the first two kinds come up in DFU mode over USB; the later ones are reached over SWD.
bool uses_usb(DeviceKind kind) { return kind == DeviceKind::Valve || kind == DeviceKind::KX; }

// A windowed program may have no standard output at all; the progress lines are then lost, quietly.
void progress(const char* text) {
    std::fputs(text, stdout);
    std::fflush(stdout);
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
    return usb_listing_verdict(run->output);
}

base::Result<bool> stm32_probe_swd(std::string_view program) {
    const auto run = run_tool(program, {"--connect", "port=SWD", "mode=UR"});
    if (!run) return std::unexpected(run.error());
    return swd_connect_verdict(run->output);
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

    const auto verdict = flash_verdict(run->output, run->exit_code);
    if (!verdict) return verdict;

    progress("Flashing complete\n");
    return {};
}

}  // namespace common
