#include "app/state.hpp"

namespace app {

bool FlashState::same(const FlashState& a, const FlashState& b) {
    if (a.tag() != b.tag()) return false;
    if (const auto* idle = a.get_if<Idle>()) return idle->message == b.get_if<Idle>()->message;
    return true;
}

bool Content::same(const Content& a, const Content& b) {
    return FlashState::same(a.state, b.state) && a.eui == b.eui;
}

bool ExternalUpdate::same(const ExternalUpdate& a, const ExternalUpdate& b) {
    return a.csv_failed == b.csv_failed && Content::same(a.content, b.content) && a.csv_error == b.csv_error;
}

}  // namespace app
