#include "common/key.hpp"

#include "rfid/hex.hpp"

namespace common {

std::string AppKey::to_string() const { return rfid::format_hex_bytes(bytes, ' ', rfid::HexCase::Lower); }

base::Result<AppKey> AppKey::from_str(std::string_view text) {
    const auto bytes = rfid::parse_hex_array<16>(text, std::nullopt);
    if (!bytes) return std::unexpected(bytes.error());
    return AppKey{*bytes};
}

}  // namespace common
