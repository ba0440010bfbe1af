#include "app/commands.hpp"

#include <QCoreApplication>

namespace app {

CommandEvent::CommandEvent(std::string selector, CommandPayload payload)
    : QEvent(event_type()), selector_(std::move(selector)), payload_(std::move(payload)) {}

QEvent::Type CommandEvent::event_type() {
    static const auto type = static_cast<QEvent::Type>(QEvent::registerEventType());
    return type;
}

void submit_command(QObject* target, std::string_view selector, CommandPayload payload) {
    QCoreApplication::postEvent(target, new CommandEvent(std::string(selector), std::move(payload)));
}

}  // namespace app
