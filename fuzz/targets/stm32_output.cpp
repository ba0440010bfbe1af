// The programmer tool's output handling against a plain model of its rules: the USB listing's device
// count, the SWD connection test and the flashing verdict, on output decoded as the driver decodes it.

#include "stm32_output.hpp"

#include <optional>
#include <string>

#include "base/quoted.hpp"
#include "base/utf8.hpp"
#include "decimal_model.hpp"
#include "fuzz_support.hpp"

namespace {

constexpr std::string_view MARKER = "Total number of available STM32 device in DFU mode: ";

// The tool's output is built from pieces: texts the driver looks for, line ends, and raw bytes.
std::string compose_output(fuzz::Input& in) {
    static const std::string_view pieces[] = {
        "No STM32 device",
        MARKER,
        "Error",
        "File download complete",
        "Download verified successfully",
        "Start operation achieved successfully",
        "\r\n",
        "\r",
        "\n",
        "1",
        "0",
        "+",
    };
    std::string raw;
    while (!in.empty()) {
        const std::uint8_t op = in.byte();
        if (op < 2 * std::size(pieces)) {
            raw += pieces[op / 2];
        } else {
            raw += in.text(op % 16);
        }
    }
    return raw;
}

void check_usb(const std::string& output) {
    const auto got = common::usb_listing_verdict(output);
    const std::string unexpected = "Unexpected response from STM32:\n";
    if (output.find("No STM32 device") != std::string::npos) {
        FUZZ_CHECK(got && *got == false);
        return;
    }
    const auto marker = output.find(MARKER);
    if (marker == std::string::npos) {
        FUZZ_CHECK(!got &&
                   fuzz::same_error(got.error(), base::ErrorKind::Other, unexpected + base::quoted(output)));
        return;
    }
    std::string count;
    for (std::size_t i = marker + MARKER.size(); i < output.size() && output[i] != '\r'; ++i)
        count += output[i];
    const fuzz::ModelNumber number = fuzz::model_read_unsigned(count, 255);
    if (number.fault != fuzz::NumberFault::None) {
        FUZZ_CHECK(!got && fuzz::same_error(got.error(), base::ErrorKind::Other,
                                            unexpected + fuzz::model_debug_text(number.fault)));
    } else if (number.value < 2) {
        FUZZ_CHECK(got && *got == (number.value == 1));
    } else {
        FUZZ_CHECK(!got && fuzz::same_error(got.error(), base::ErrorKind::Other,
                                            "Looking for 1 device connected through USB, found " +
                                                std::to_string(number.value) +
                                                "\nCannot know which one to connect to"));
    }
}

void check_flash(const std::string& output, std::optional<std::uint32_t> exit_code) {
    const auto got = common::flash_verdict(output, exit_code);
    const bool all_texts = output.find("File download complete") != std::string::npos &&
                           output.find("Download verified successfully") != std::string::npos &&
                           output.find("Start operation achieved successfully") != std::string::npos;
    if (exit_code == std::optional<std::uint32_t>(0) && all_texts) {
        FUZZ_CHECK(got.has_value());
    } else {
        FUZZ_CHECK(!got && fuzz::same_error(got.error(), base::ErrorKind::Other,
                                            "Failed to flash:\n" + base::quoted(output)));
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::Input in(data, size);
    const std::uint8_t code_pick = in.byte();
    std::optional<std::uint32_t> exit_code;
    if (code_pick < 128) {
        exit_code = 0;
    } else if (code_pick < 192) {
        exit_code = code_pick - 128;
    } else if (code_pick < 250) {
        exit_code = in.u32();
    }
    const std::string output = base::utf8_lossy(compose_output(in));

    check_usb(output);
    FUZZ_CHECK(common::swd_connect_verdict(output) == (output.find("Error") == std::string::npos));
    check_flash(output, exit_code);
    return 0;
}
