#include "rfid/tag_reader.hpp"

#include <algorithm>

#include "base/text.hpp"
#include "base/utf8.hpp"

namespace rfid {

namespace {

std::string code_text(ScardCode code) { return "0x" + base::to_hex_lower(code); }

std::unexpected<base::Error> fail_with_code(std::string_view what, ScardCode code) {
    return base::fail(base::ErrorKind::Other, std::string(what) + " (" + code_text(code) + ")");
}

// The text a failed UTF-8 decoding shows.
std::string utf8_error_text(const base::Utf8Check& check) {
    const std::string length =
        check.error_len == 0 ? "None" : "Some(" + std::to_string(check.error_len) + ")";
    return "Utf8Error { valid_up_to: " + std::to_string(check.valid_up_to) + ", error_len: " + length + " }";
}

}  // namespace

base::Result<TagUid> read_tag_uid(std::chrono::nanoseconds timeout, const PcscApi& api) {
    const auto start = std::chrono::steady_clock::now();
    // No pause between attempts: the service's calls set the pace, and a tag laid on is seen by the
    // very next attempt.
    while (std::chrono::steady_clock::now() - start < timeout) {
        const auto attempt = read_tag_uid_once(api);
        if (attempt && *attempt) return **attempt;
    }
    return base::fail(base::ErrorKind::Other, "Cannot get an RFID");
}

base::Result<std::optional<TagUid>> read_tag_uid_once(const PcscApi& api) {
    const auto connection = connect_first_card(api);
    if (!connection) return std::unexpected(connection.error());
    if (!*connection) return std::nullopt;
    const CardConnection& card = **connection;

    std::array<std::uint8_t, 9> reply{};
    std::uint32_t reply_length = reply.size();
    const ScardCode code = api.transmit(card.card, card.protocol, GET_UID_APDU, reply.data(), reply_length);

    // A good UID outranks a failing disconnect or release: the card was read.
    static_cast<void>(disconnect_card(card.context, card.card, api));

    if (code != CODE_SUCCESS) return fail_with_code("RFID: Failed to transmit", code);
    // The length counts: an 8-byte reply ending in 90 would leave byte 8 at the buffer's zero and pass
    // for a 7-byte UID with its status. A longer reply does not fit and fails the transmit.
    if (reply_length != reply.size() || reply[7] != 0x90 || reply[8] != 0x00) {
        return base::fail(base::ErrorKind::Other, "Unexpected response from RFID reader");
    }
    TagUid uid;
    std::copy_n(reply.begin(), uid.bytes.size(), uid.bytes.begin());
    return uid;
}

base::Result<std::optional<CardConnection>> connect_first_card(const PcscApi& api) {
    ScardContext context = 0;
    const ScardCode code = api.establish_context(context);
    if (code != CODE_SUCCESS) return fail_with_code("RFID: Failed to establish context", code);

    const auto names = list_reader_names(context, api);
    if (!names) {
        static_cast<void>(api.release_context(context));
        return std::unexpected(names.error());
    }

    base::Result<std::optional<CardConnection>> result =
        base::fail(base::ErrorKind::Other, "Failed to find any readers");
    for (const std::string& name : *names) {
        const auto connected = connect_reader(context, name, api);
        if (!connected) continue;  // a refused name (the list's empty ones, for instance) is no verdict
        if (*connected) return CardConnection{context, (*connected)->card, (*connected)->protocol};
        result = std::nullopt;
    }
    static_cast<void>(api.release_context(context));
    return result;
}

base::Result<std::vector<std::string>> list_reader_names(ScardContext context, const PcscApi& api) {
    std::uint32_t size = 0;
    ScardCode code = api.list_readers(context, nullptr, size);
    if (code != CODE_SUCCESS) return fail_with_code("RFID: Failed to list available readers", code);

    // A null buffer would ask for the size again, so an empty list still gets a real (empty) buffer.
    std::string text(size, '\0');
    char empty = '\0';
    std::uint32_t fetched = size;
    code = api.list_readers(context, text.empty() ? &empty : text.data(), fetched);
    if (code != CODE_SUCCESS) return fail_with_code("RFID: Failed to list available readers", code);

    // The whole buffer counts, also when a reader went away between the calls and the list shrank.
    const base::Utf8Check check = base::utf8_check(text);
    if (check.valid_up_to != text.size()) return base::fail(base::ErrorKind::Other, utf8_error_text(check));

    std::vector<std::string> names;
    for (const std::string_view name : base::split(text, '\0')) names.emplace_back(name);
    return names;
}

base::Result<std::optional<ConnectedCard>> connect_reader(ScardContext context, std::string_view name,
                                                          const PcscApi& api) {
    const std::string reader(name);
    ConnectedCard connected;
    const ScardCode code = api.connect(context, reader.c_str(), connected.card, connected.protocol);
    if (code == CODE_SUCCESS) return connected;
    if (code == CODE_REMOVED_CARD) return std::nullopt;
    return fail_with_code("RFID: Failed to connect to " + reader, code);
}

base::Result<void> disconnect_card(ScardContext context, ScardHandle card, const PcscApi& api) {
    const ScardCode disconnected = api.disconnect(card);
    const ScardCode released = api.release_context(context);
    if (disconnected != CODE_SUCCESS) return fail_with_code("RFID: Failed to Disconnect", disconnected);
    if (released != CODE_SUCCESS) return fail_with_code("RFID: Failed to Release Context", released);
    return {};
}

}  // namespace rfid
