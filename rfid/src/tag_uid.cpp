#include "rfid/tag_uid.hpp"

#include "rfid/hex.hpp"

namespace rfid {

std::string TagUid::to_string() const { return format_hex_bytes(bytes, ':', HexCase::Upper); }

base::Result<TagUid> TagUid::from_str(std::string_view text) {
    const auto bytes = parse_hex_array<7>(text, std::nullopt);
    if (!bytes) return std::unexpected(bytes.error());
    return TagUid{*bytes};
}

}  // namespace rfid
