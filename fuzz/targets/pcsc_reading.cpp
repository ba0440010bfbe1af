// Tag reading through a PC/SC double that plays attempts scripted by the input: each attempt's
// outcome agrees with a plain model of the rules; every context established is released exactly once
// and every card connected is disconnected exactly once, before its context goes; no call uses a
// handle that is gone; the polling returns the first attempt's UID and makes no attempt after it.

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "fuzz_support.hpp"
#include "rfid/tag_reader.hpp"
#include "utf8_model.hpp"

namespace {

using rfid::ScardCode;
using rfid::ScardContext;
using rfid::ScardHandle;

constexpr ScardCode NO_CARD = rfid::CODE_REMOVED_CARD;
constexpr ScardCode UNKNOWN_READER = 0x80100009;
constexpr ScardCode INSUFFICIENT_BUFFER = 0x80100008;

struct ConnectScript {
    ScardCode code = 0;
    std::uint32_t protocol = 0;
};

struct AttemptScript {
    ScardCode establish = 0;
    ScardCode size_code = 0;
    std::string list;                // the whole buffer the service fills, `size` bytes
    std::vector<std::string> names;  // the list's pieces between NULs, as the model has them
    ScardCode list_code = 0;
    std::uint32_t fetched = 0;            // the size the second listing reports
    std::vector<ConnectScript> connects;  // by call order; later calls find no reader
    ScardCode transmit = 0;
    std::vector<std::uint8_t> reply;
    ScardCode disconnect = 0;
    ScardCode release = 0;
};

std::vector<std::string> model_names(const std::string& list) {
    std::vector<std::string> names(1);
    for (const char c : list) {
        if (c == '\0') {
            names.emplace_back();
        } else {
            names.back() += c;
        }
    }
    return names;
}

ScardCode pick_code(fuzz::Input& in) {
    const std::uint8_t b = in.byte();
    if (b < 160) return 0;
    if (b < 200) return NO_CARD;
    if (b < 220) return 0x8010000C;
    return 0x80100000u + b;
}

AttemptScript read_script(fuzz::Input& in) {
    AttemptScript s;
    s.establish = in.byte() < 240 ? 0 : 0x80100001u + in.byte();
    s.size_code = in.byte() < 240 ? 0 : 0x8010002Eu;
    const std::uint8_t size = in.byte() % 48;
    // Reader lists are mostly names ended by NUL; the input may also give any bytes.
    const std::uint8_t shape = in.byte();
    if (shape < 160) {
        std::string names;
        while (names.size() < size && !in.empty()) {
            names += in.text(in.byte() % 12);
            names += '\0';
        }
        names.resize(size, '\0');
        s.list = names;
    } else {
        s.list = in.text(size);
        s.list.resize(size, '\0');
    }
    s.list_code = in.byte() < 240 ? 0 : 0x8010002Eu;
    s.fetched = in.byte() % (size + 1u);
    const std::size_t connects = in.byte() % 6;
    for (std::size_t i = 0; i < connects; ++i) s.connects.push_back({pick_code(in), in.byte() % 4u});
    s.transmit = in.byte() < 230 ? 0 : 0x80100000u + in.byte();
    const std::uint8_t length = in.byte() % 13;
    // Replies mostly end in the status bytes of success, or in half of them.
    const std::uint8_t status = in.byte();
    for (std::uint8_t i = 0; i < length; ++i) s.reply.push_back(in.byte());
    if (status < 150 && length >= 2) {
        s.reply[length - 2] = 0x90;
        s.reply[length - 1] = 0x00;
    } else if (status < 200 && length >= 1) {
        s.reply[length - 1] = 0x90;
    }
    s.disconnect = in.byte() < 230 ? 0 : 0x80100000u + in.byte();
    s.release = in.byte() < 230 ? 0 : 0x80100000u + in.byte();
    s.names = model_names(s.list);
    return s;
}

// The attempt every polling ends with: one reader with a tag that answers in full.
AttemptScript good_attempt() {
    AttemptScript s;
    s.list = std::string("Reader\0\0", 8);
    s.fetched = 8;
    s.connects = {{0, 2}};
    s.reply = {0x04, 0xA1, 0xB2, 0xC3, 0xD4, 0xE5, 0xF6, 0x90, 0x00};
    s.names = model_names(s.list);
    return s;
}

std::string hex_code(ScardCode code) {
    char text[16];
    std::snprintf(text, sizeof text, "%x", code);
    return "0x" + std::string(text);
}

struct ModelOutcome {
    std::optional<rfid::TagUid> uid;
    bool no_tag = false;
    std::string error;  // when neither
};

ModelOutcome model_attempt(const AttemptScript& s) {
    const auto failed = [](std::string message) {
        return ModelOutcome{std::nullopt, false, std::move(message)};
    };
    if (s.establish != 0) return failed("RFID: Failed to establish context (" + hex_code(s.establish) + ")");
    if (s.size_code != 0)
        return failed("RFID: Failed to list available readers (" + hex_code(s.size_code) + ")");
    if (s.list_code != 0)
        return failed("RFID: Failed to list available readers (" + hex_code(s.list_code) + ")");
    for (const fuzz::ModelChar& c : fuzz::model_decode(s.list)) {
        if (c.valid) continue;
        return failed("Utf8Error { valid_up_to: " + std::to_string(c.offset) + ", error_len: " +
                      (c.truncated ? std::string("None") : "Some(" + std::to_string(c.length) + ")") + " }");
    }
    const std::vector<std::string>& names = s.names;
    bool no_tag = false;
    for (std::size_t i = 0; i < names.size(); ++i) {
        const ScardCode code = i < s.connects.size() ? s.connects[i].code : UNKNOWN_READER;
        if (code == NO_CARD) no_tag = true;
        if (code != 0) continue;
        const ScardCode transmit = s.reply.size() > 9 ? INSUFFICIENT_BUFFER : s.transmit;
        if (transmit != 0) return failed("RFID: Failed to transmit (" + hex_code(transmit) + ")");
        // A UID only from a whole reply: seven bytes and the status 90 00.
        if (s.reply.size() != 9 || s.reply[7] != 0x90 || s.reply[8] != 0x00)
            return failed("Unexpected response from RFID reader");
        rfid::TagUid uid;
        std::copy_n(s.reply.begin(), 7, uid.bytes.begin());
        return {uid, false, {}};
    }
    if (no_tag) return {std::nullopt, true, {}};
    return failed("Failed to find any readers");
}

// The service as the scripts play it, keeping account of every handle.
class Service {
  public:
    explicit Service(const std::vector<AttemptScript>& scripts) : scripts_(scripts) {}

    rfid::PcscApi api() {
        rfid::PcscApi api;
        api.establish_context = [this](ScardContext& context) {
            ++attempt_;
            list_calls_ = connect_calls_ = 0;
            const AttemptScript& s = script();
            if (s.establish != 0) return s.establish;
            context = 0x1000 * attempt_ + 7;
            contexts_[context] = 0;
            return ScardCode{0};
        };
        api.list_readers = [this](ScardContext context, char* buffer, std::uint32_t& size) {
            live_context(context);
            const AttemptScript& s = script();
            if (list_calls_++ == 0) {
                FUZZ_CHECK(buffer == nullptr);  // the first call asks for the size
                size = static_cast<std::uint32_t>(s.list.size());
                return s.size_code;
            }
            FUZZ_CHECK(list_calls_ == 2 && buffer != nullptr && size == s.list.size());
            if (s.list_code != 0) return s.list_code;
            std::copy(s.list.begin(), s.list.end(), buffer);
            size = s.fetched;
            return ScardCode{0};
        };
        api.connect = [this](ScardContext context, const char* reader, ScardHandle& card,
                             std::uint32_t& protocol) {
            live_context(context);
            FUZZ_CHECK(card == 0 && protocol == 0);
            const AttemptScript& s = script();
            const std::size_t call = connect_calls_++;
            FUZZ_CHECK(call < s.names.size() && s.names[call] == reader);
            const ConnectScript c =
                call < s.connects.size() ? s.connects[call] : ConnectScript{UNKNOWN_READER, 0};
            if (c.code != 0) return c.code;
            card = 0x1000 * attempt_ + 0x100 + call;
            protocol = c.protocol;
            cards_[card] = {context, protocol, 0};
            return ScardCode{0};
        };
        api.transmit = [this](ScardHandle card, std::uint32_t protocol, std::span<const std::uint8_t> command,
                              std::uint8_t* reply, std::uint32_t& reply_length) {
            const auto found = cards_.find(card);
            FUZZ_CHECK(found != cards_.end() && found->second.disconnected == 0);
            FUZZ_CHECK(protocol == found->second.protocol);
            FUZZ_CHECK(std::equal(command.begin(), command.end(), rfid::GET_UID_APDU.begin(),
                                  rfid::GET_UID_APDU.end()));
            FUZZ_CHECK(reply_length == 9);
            const AttemptScript& s = script();
            if (s.reply.size() > reply_length) return INSUFFICIENT_BUFFER;
            if (s.transmit != 0) return s.transmit;
            std::copy(s.reply.begin(), s.reply.end(), reply);
            reply_length = static_cast<std::uint32_t>(s.reply.size());
            return ScardCode{0};
        };
        api.disconnect = [this](ScardHandle card) {
            const auto found = cards_.find(card);
            FUZZ_CHECK(found != cards_.end() && found->second.disconnected == 0);
            live_context(found->second.context);
            ++found->second.disconnected;
            return script().disconnect;
        };
        api.release_context = [this](ScardContext context) {
            live_context(context);
            for (const auto& [card, state] : cards_)
                FUZZ_CHECK(state.context != context || state.disconnected == 1);
            ++contexts_[context];
            return script().release;
        };
        return api;
    }

    [[nodiscard]] std::size_t attempts() const { return attempt_; }

    // Nothing stays open once an attempt has returned.
    void check_all_closed() const {
        for (const auto& [context, released] : contexts_) FUZZ_CHECK(released == 1);
        for (const auto& [card, state] : cards_) FUZZ_CHECK(state.disconnected == 1);
    }

  private:
    struct CardState {
        ScardContext context;
        std::uint32_t protocol;
        int disconnected;
    };

    const AttemptScript& script() const {
        static const AttemptScript good = good_attempt();
        return attempt_ <= scripts_.size() ? scripts_[attempt_ - 1] : good;
    }

    void live_context(ScardContext context) const {
        const auto found = contexts_.find(context);
        FUZZ_CHECK(found != contexts_.end() && found->second == 0);
    }

    const std::vector<AttemptScript>& scripts_;
    std::size_t attempt_ = 0;
    std::size_t list_calls_ = 0;
    std::size_t connect_calls_ = 0;
    std::map<ScardContext, int> contexts_;
    std::map<ScardHandle, CardState> cards_;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::Input in(data, size);
    std::vector<AttemptScript> scripts;
    while (!in.empty() && scripts.size() < 8) scripts.push_back(read_script(in));
    std::vector<ModelOutcome> outcomes;
    for (const AttemptScript& s : scripts) outcomes.push_back(model_attempt(s));

    // One attempt at a time: each outcome as the model has it.
    {
        Service service(scripts);
        const rfid::PcscApi api = service.api();
        for (const ModelOutcome& want : outcomes) {
            const auto got = rfid::read_tag_uid_once(api);
            if (want.uid) {
                FUZZ_CHECK(got && *got && **got == *want.uid);
            } else if (want.no_tag) {
                FUZZ_CHECK(got && !*got);
            } else {
                FUZZ_CHECK(!got && fuzz::same_error(got.error(), base::ErrorKind::Other, want.error));
            }
            service.check_all_closed();
        }
        FUZZ_CHECK(service.attempts() == scripts.size());
    }

    // Polling: the first attempt with a UID ends it; the scripts end in one that always has one.
    {
        std::size_t first = scripts.size();
        rfid::TagUid want = *model_attempt(good_attempt()).uid;
        for (std::size_t i = 0; i < outcomes.size(); ++i) {
            if (outcomes[i].uid) {
                first = i;
                want = *outcomes[i].uid;
                break;
            }
        }
        Service service(scripts);
        const auto got = rfid::read_tag_uid(std::chrono::hours(1), service.api());
        FUZZ_CHECK(got && *got == want);
        FUZZ_CHECK(service.attempts() == first + 1);
        service.check_all_closed();
    }

    // No time at all: no attempt, and the time-out's message.
    {
        Service service(scripts);
        const auto got = rfid::read_tag_uid(std::chrono::nanoseconds(0), service.api());
        FUZZ_CHECK(!got && fuzz::same_error(got.error(), base::ErrorKind::Other, "Cannot get an RFID"));
        FUZZ_CHECK(service.attempts() == 0);
    }
    return 0;
}
