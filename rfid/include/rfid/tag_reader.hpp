#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/error.hpp"
#include "rfid/pcsc_api.hpp"
#include "rfid/tag_uid.hpp"

namespace rfid {

// The PC/SC get-data command for the card's UID, all bytes.
inline constexpr std::array<std::uint8_t, 5> GET_UID_APDU{0xFF, 0xCA, 0x00, 0x00, 0x00};

// The connected card of one attempt; the attempt owns both handles.
struct CardConnection {
    ScardContext context = 0;
    ScardHandle card = 0;
    std::uint32_t protocol = 0;
};

struct ConnectedCard {
    ScardHandle card = 0;
    std::uint32_t protocol = 0;
};

// Polls every reader, one fresh attempt after the other without a pause, until a tag answers with a
// 7-byte UID; after `timeout` fails with "Cannot get an RFID". The attempts' own errors are dropped.
[[nodiscard]] base::Result<TagUid> read_tag_uid(std::chrono::nanoseconds timeout,
                                                const PcscApi& api = system_pcsc());

// The operations of one attempt; only read_tag_uid is meant for the application.

// One attempt: the UID of the tag on the first reader that connects; absent when no reader holds one.
[[nodiscard]] base::Result<std::optional<TagUid>> read_tag_uid_once(const PcscApi& api = system_pcsc());

// Establishes a context and connects the first reader, in the service's order, that holds a card.
// Absent when at least one reader reported that it holds no card and none connected.
[[nodiscard]] base::Result<std::optional<CardConnection>> connect_first_card(
    const PcscApi& api = system_pcsc());

// Every piece of the service's reader list between NULs, the empty ones included.
[[nodiscard]] base::Result<std::vector<std::string>> list_reader_names(ScardContext context,
                                                                       const PcscApi& api = system_pcsc());

// Absent when the reader holds no card.
[[nodiscard]] base::Result<std::optional<ConnectedCard>> connect_reader(ScardContext context,
                                                                        std::string_view name,
                                                                        const PcscApi& api = system_pcsc());

// Disconnects the card and releases the context, whatever the disconnect returned.
[[nodiscard]] base::Result<void> disconnect_card(ScardContext context, ScardHandle card,
                                                 const PcscApi& api = system_pcsc());

}  // namespace rfid
