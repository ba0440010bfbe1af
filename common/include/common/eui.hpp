#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "base/error.hpp"

namespace common {

// An 8-byte LoRaWAN EUI (device EUI or join EUI).
struct Eui {
    std::array<std::uint8_t, 8> bytes{};

    bool operator==(const Eui&) const = default;

    // Eight lower-case hex pairs joined by "-": the credential table is searched for this text.
    [[nodiscard]] std::string to_string() const;

    [[nodiscard]] static base::Result<Eui> from_str(std::string_view text);
};

}  // namespace common
