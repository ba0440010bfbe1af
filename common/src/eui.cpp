#include "common/eui.hpp"

#include "rfid/hex.hpp"

namespace common {

std::string Eui::to_string() const { return rfid::format_hex_bytes(bytes, '-', rfid::HexCase::Lower); }

base::Result<Eui> Eui::from_str(std::string_view text) {
    const auto bytes = rfid::parse_hex_array<8>(text, U'-');
    if (!bytes) return std::unexpected(bytes.error());
    return Eui{*bytes};
}

}  // namespace common
