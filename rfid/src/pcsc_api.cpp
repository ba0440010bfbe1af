#include "rfid/pcsc_api.hpp"

#ifdef _WIN32
#include <windows.h>
#include <winscard.h>

namespace {

// The narrow-text calls: reader names come in the ANSI code page and only go back to the connect call,
// which takes them in the same code page.
LONG list_readers_narrow(SCARDCONTEXT context, LPSTR buffer, LPDWORD size) {
    return SCardListReadersA(context, nullptr, buffer, size);
}
LONG connect_narrow(SCARDCONTEXT context, LPCSTR reader, LPSCARDHANDLE card, LPDWORD protocol) {
    return SCardConnectA(context, reader, SCARD_SHARE_SHARED, SCARD_PROTOCOL_T0 | SCARD_PROTOCOL_T1, card,
                         protocol);
}
// winscard already answers SCARD_W_REMOVED_CARD for an empty reader.
rfid::ScardCode connect_code(LONG code) { return static_cast<rfid::ScardCode>(code); }

}  // namespace
#else
#include <winscard.h>

namespace {

LONG list_readers_narrow(SCARDCONTEXT context, LPSTR buffer, LPDWORD size) {
    return SCardListReaders(context, nullptr, buffer, size);
}
LONG connect_narrow(SCARDCONTEXT context, LPCSTR reader, LPSCARDHANDLE card, LPDWORD protocol) {
    return SCardConnect(context, reader, SCARD_SHARE_SHARED, SCARD_PROTOCOL_T0 | SCARD_PROTOCOL_T1, card,
                        protocol);
}
// pcsc-lite answers SCARD_E_NO_SMARTCARD where winscard answers SCARD_W_REMOVED_CARD: both mean the
// reader holds no card, and the reader logic knows only the latter.
rfid::ScardCode connect_code(LONG code) {
    const auto value = static_cast<rfid::ScardCode>(code);
    return value == static_cast<rfid::ScardCode>(SCARD_E_NO_SMARTCARD) ? rfid::CODE_REMOVED_CARD : value;
}

}  // namespace
#endif

namespace rfid {

namespace {

ScardCode code_of(LONG code) { return static_cast<ScardCode>(code); }

PcscApi make_system_pcsc() {
    PcscApi api;
    api.establish_context = [](ScardContext& context) {
        SCARDCONTEXT handle = 0;
        const LONG code = SCardEstablishContext(SCARD_SCOPE_USER, nullptr, nullptr, &handle);
        context = static_cast<ScardContext>(handle);
        return code_of(code);
    };
    api.list_readers = [](ScardContext context, char* buffer, std::uint32_t& size) {
        DWORD length = size;
        const LONG code = list_readers_narrow(static_cast<SCARDCONTEXT>(context), buffer, &length);
        size = static_cast<std::uint32_t>(length);
        return code_of(code);
    };
    api.connect = [](ScardContext context, const char* reader, ScardHandle& card, std::uint32_t& protocol) {
        SCARDHANDLE handle = static_cast<SCARDHANDLE>(card);
        DWORD active = protocol;
        const LONG code = connect_narrow(static_cast<SCARDCONTEXT>(context), reader, &handle, &active);
        card = static_cast<ScardHandle>(handle);
        protocol = static_cast<std::uint32_t>(active);
        return connect_code(code);
    };
    api.transmit = [](ScardHandle card, std::uint32_t protocol, std::span<const std::uint8_t> command,
                      std::uint8_t* reply, std::uint32_t& reply_length) {
        // The header's size is the platform's own: 8 bytes on 32-bit DWORDs, 16 on Linux x86_64.
        SCARD_IO_REQUEST send_header{};
        send_header.dwProtocol = protocol;
        send_header.cbPciLength = sizeof(SCARD_IO_REQUEST);
        DWORD length = reply_length;
        const LONG code = SCardTransmit(static_cast<SCARDHANDLE>(card), &send_header, command.data(),
                                        static_cast<DWORD>(command.size()), nullptr, reply, &length);
        reply_length = static_cast<std::uint32_t>(length);
        return code_of(code);
    };
    api.disconnect = [](ScardHandle card) {
        return code_of(SCardDisconnect(static_cast<SCARDHANDLE>(card), SCARD_LEAVE_CARD));
    };
    api.release_context = [](ScardContext context) {
        return code_of(SCardReleaseContext(static_cast<SCARDCONTEXT>(context)));
    };
    return api;
}

}  // namespace

const PcscApi& system_pcsc() {
    static const PcscApi api = make_system_pcsc();
    return api;
}

}  // namespace rfid
