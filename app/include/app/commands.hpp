#pragma once

#include <QEvent>
#include <string>
#include <string_view>
#include <variant>

#include "common/record.hpp"
#include "rfid/tag_uid.hpp"

class QObject;

namespace app {

// The workflow's commands: each step ends by submitting one to the panel itself, and the panel takes
// it in a later pass of the event loop, never while the submitting step still runs.
inline constexpr std::string_view DETECT_RFID = "Detect RFID";
inline constexpr std::string_view INSTRUCT_PLUG_IN =
    "Instruct user to plug in USB and press and hold the button";
inline constexpr std::string_view DETECT_DEVICE = "Detect device";
inline constexpr std::string_view INSTRUCT_RELEASE = "Instruct user to release button";
inline constexpr std::string_view DEVICE_FLASHING = "Device is flashing";
inline constexpr std::string_view FLASHING_COMPLETE = "Flashing complete; List credentials in CSV";
inline constexpr std::string_view FLASHING_SUCCEEDED = "Flashing succeeded";
inline constexpr std::string_view FLASHING_FAILED = "Flashing failed";

// None, a device record, a tag UID or a text, as the selector fixes it.
using CommandPayload = std::variant<std::monostate, common::DeviceRecord, rfid::TagUid, std::string>;

// A command as a posted Qt event: its selector text and its typed payload.
class CommandEvent : public QEvent {
  public:
    CommandEvent(std::string selector, CommandPayload payload);

    [[nodiscard]] static QEvent::Type event_type();

    [[nodiscard]] const std::string& selector() const { return selector_; }
    [[nodiscard]] const CommandPayload& payload() const { return payload_; }

  private:
    std::string selector_;
    CommandPayload payload_;
};

// Queues the command for `target`; it arrives with a later turn of the event loop.
void submit_command(QObject* target, std::string_view selector, CommandPayload payload = {});

}  // namespace app
