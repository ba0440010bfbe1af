#include "stm32_output.hpp"

#include <string>

#include "base/decimal.hpp"
#include "base/quoted.hpp"
#include "common/stm32_programmer.hpp"

namespace common {

namespace {

constexpr std::string_view NO_DEVICE_TEXT = "No STM32 device";
constexpr std::string_view SWD_ERROR_TEXT = "Error";
constexpr std::string_view FLASH_SUCCESS_TEXTS[] = {
    "File download complete",
    "Download verified successfully",
    "Start operation achieved successfully",
};

bool contains(std::string_view text, std::string_view part) {
    return text.find(part) != std::string_view::npos;
}

base::Error unexpected_response(const std::string& detail) {
    return base::Error{base::ErrorKind::Other, "Unexpected response from STM32:\n" + detail};
}

}  // namespace

base::Result<bool> usb_listing_verdict(std::string_view output) {
    if (contains(output, NO_DEVICE_TEXT)) return false;
    const auto marker = output.find(DFU_COUNT_MARKER);
    if (marker == std::string_view::npos) return std::unexpected(unexpected_response(base::quoted(output)));

    // The tool ends its lines with CRLF, so only a carriage return ends the count; a bare line feed
    // stays in the count text and makes it unreadable.
    const auto begin = marker + DFU_COUNT_MARKER.size();
    const auto end = output.find('\r', begin);
    const auto count =
        base::parse_u8(output.substr(begin, end == std::string_view::npos ? end : end - begin));
    if (!count) return std::unexpected(unexpected_response(count.error().debug_string()));

    if (*count == 0) return false;
    if (*count == 1) return true;
    return base::fail(base::ErrorKind::Other, "Looking for 1 device connected through USB, found " +
                                                  std::to_string(*count) +
                                                  "\nCannot know which one to connect to");
}

bool swd_connect_verdict(std::string_view output) { return !contains(output, SWD_ERROR_TEXT); }

base::Result<void> flash_verdict(std::string_view output, std::optional<std::uint32_t> exit_code) {
    // Runs that printed every success line and still ended with 1 have been seen: the code and all
    // three lines must agree.
    bool succeeded = exit_code == 0u;
    for (const std::string_view text : FLASH_SUCCESS_TEXTS) succeeded = succeeded && contains(output, text);
    if (!succeeded) return base::fail(base::ErrorKind::Other, "Failed to flash:\n" + base::quoted(output));
    return {};
}

}  // namespace common
