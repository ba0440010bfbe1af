#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "base/error.hpp"

namespace common {

// A device's 16-byte LoRaWAN application key. Secret: it leaves the program only inside the firmware
// work file and the credentials CSV row.
struct AppKey {
    std::array<std::uint8_t, 16> bytes{};

    bool operator==(const AppKey&) const = default;

    // Sixteen lower-case hex pairs separated by single blanks.
    [[nodiscard]] std::string to_string() const;

    [[nodiscard]] static base::Result<AppKey> from_str(std::string_view text);
};

}  // namespace common
