#pragma once

#include <string_view>

#include "base/error.hpp"
#include "common/article.hpp"
#include "common/stm32_programmer_cli.hpp"

namespace common {

// The text in the USB listing just before the number of devices in DFU mode.
inline constexpr std::string_view DFU_COUNT_MARKER = "Total number of available STM32 device in DFU mode: ";

inline constexpr std::string_view FLASH_ADDRESS = "0x08000000";

// Every call below runs the tool once and waits for it without a time limit. `program` is the tool to
// run; only tests pass anything else.

// True when exactly the one device to update is connected and ready; false when it is not there (yet).
[[nodiscard]] base::Result<bool> probe_device(DeviceKind kind,
                                              std::string_view program = STM32_PROGRAMMER_CLI);

// Writes, verifies and starts the firmware file at `path` (handed to the tool as it is).
[[nodiscard]] base::Result<void> flash_device(DeviceKind kind, std::string_view path,
                                              std::string_view program = STM32_PROGRAMMER_CLI);

[[nodiscard]] base::Result<bool> stm32_probe_usb(std::string_view program = STM32_PROGRAMMER_CLI);
[[nodiscard]] base::Result<bool> stm32_probe_swd(std::string_view program = STM32_PROGRAMMER_CLI);

// Prints "Flashing..." before the tool starts and "Flashing complete" after a success.
[[nodiscard]] base::Result<void> stm32_flash(bool usb, std::string_view path,
                                             std::string_view program = STM32_PROGRAMMER_CLI);

}  // namespace common
