#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "base/error.hpp"

namespace rfid {

// The 7-byte UID of an NFC tag, in the order the reader returns it.
struct TagUid {
    std::array<std::uint8_t, 7> bytes{};

    bool operator==(const TagUid&) const = default;

    // Seven upper-case hex pairs joined by ":", always 20 characters.
    [[nodiscard]] std::string to_string() const;

    [[nodiscard]] static base::Result<TagUid> from_str(std::string_view text);
};

}  // namespace rfid
