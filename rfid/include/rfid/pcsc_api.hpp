#pragma once

#include <cstdint>
#include <functional>
#include <span>

namespace rfid {

// Handles and codes of the PC/SC service, wide enough for both pcsc-lite and winscard, so that no
// platform header leaks beyond the one file that calls the service.
using ScardContext = std::uintptr_t;
using ScardHandle = std::uintptr_t;
using ScardCode = std::uint32_t;

// Named apart from the platform's macros, which would otherwise replace these names.
inline constexpr ScardCode CODE_SUCCESS = 0;
// SCARD_W_REMOVED_CARD: the connect's answer for a reader that holds no card. The real table reports
// pcsc-lite's own answer for that case (SCARD_E_NO_SMARTCARD, 0x8010000C) as this code too.
inline constexpr ScardCode CODE_REMOVED_CARD = 0x80100069;

// The six PC/SC calls the tag reader makes, with the fixed arguments (scope, share mode, preferred
// protocols, disposition) filled in by the real table. Tests pass a table of their own to script
// every code and reply.
struct PcscApi {
    // SCardEstablishContext with SCARD_SCOPE_USER.
    std::function<ScardCode(ScardContext& context)> establish_context;
    // SCardListReaders over all groups; `buffer` null asks for the size. `size` is in bytes, in and out.
    std::function<ScardCode(ScardContext context, char* buffer, std::uint32_t& size)> list_readers;
    // SCardConnect shared, T0 or T1.
    std::function<ScardCode(ScardContext context, const char* reader, ScardHandle& card,
                            std::uint32_t& protocol)>
        connect;
    // SCardTransmit with a send header for `protocol` and no receive header; `reply_length` in and out.
    std::function<ScardCode(ScardHandle card, std::uint32_t protocol, std::span<const std::uint8_t> command,
                            std::uint8_t* reply, std::uint32_t& reply_length)>
        transmit;
    // SCardDisconnect, leaving the card as it is.
    std::function<ScardCode(ScardHandle card)> disconnect;
    std::function<ScardCode(ScardContext context)> release_context;
};

// The platform's PC/SC service: pcsc-lite, or winscard on Windows.
[[nodiscard]] const PcscApi& system_pcsc();

}  // namespace rfid
