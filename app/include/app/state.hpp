#pragma once

#include <cstddef>
#include <string>
#include <utility>
#include <variant>

#include "app/report_channel.hpp"
#include "common/article.hpp"
#include "common/record.hpp"
#include "rfid/tag_uid.hpp"

namespace app {

// The workflow state with its payload. The alternatives stand in the order of their tags (Idle is 0,
// Failed is 9): the tag is the variant's index.
struct FlashState {
    // Waiting for the operator; the message is shown in yellow.
    struct Idle {
        std::string message;
    };
    struct Start {};
    struct DetectRfid {};
    struct PlugIn {
        common::DeviceRecord record;
    };
    struct DetectDevice {
        common::DeviceRecord record;
    };
    struct Release {
        common::DeviceRecord record;
    };
    struct Flashing {
        common::DeviceRecord record;
    };
    struct ListCredentials {
        rfid::TagUid uid;
    };
    struct Succeeded {};
    // The update ended in an error; the text is shown in red.
    struct Failed {
        std::string text;
    };

    using Value = std::variant<Idle, Start, DetectRfid, PlugIn, DetectDevice, Release, Flashing,
                               ListCredentials, Succeeded, Failed>;

    Value value = Idle{};

    FlashState() = default;
    template <class State>
    requires std::is_constructible_v<Value, State&&> FlashState(
        State&& state)  // NOLINT: a state is a FlashState
        : value(std::forward<State>(state)) {}

    [[nodiscard]] std::size_t tag() const { return value.index(); }

    template <class State>
    [[nodiscard]] bool is() const {
        return std::holds_alternative<State>(value);
    }
    template <class State>
    [[nodiscard]] const State* get_if() const {
        return std::get_if<State>(&value);
    }

    // Same tag and, for Idle only, the same message: a changed record, UID or failure text alone
    // does not count, so re-entering a state never repeats its step.
    [[nodiscard]] static bool same(const FlashState& a, const FlashState& b);
};

// The update panel's data.
struct Content {
    FlashState state;
    std::string eui;  // the Device-EUI text box
    common::ArticleRevision target;
    ReportSender report_sender;

    // The states are the same and the eui texts equal; target and sender do not count.
    [[nodiscard]] static bool same(const Content& a, const Content& b);
};

// The window's data.
struct ExternalUpdate {
    Content content;
    std::string firmware_version;
    std::string csv_error;
    bool csv_failed = false;

    // csv_failed, then content, then csv_error; firmware_version does not count.
    [[nodiscard]] static bool same(const ExternalUpdate& a, const ExternalUpdate& b);
};

}  // namespace app
