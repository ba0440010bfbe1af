#include "app/data_host.hpp"

#include <utility>

namespace app {

DataHost::DataHost(ExternalUpdate initial) : data_(std::move(initial)), seen_(data_) {}

void DataHost::update_pass() {
    if (ExternalUpdate::same(seen_, data_)) return;
    // The seen copy moves on before the widgets run: a step submits its next command and returns, and
    // the pass for that command must compare against this data, not the one before.
    const ExternalUpdate old = std::exchange(seen_, data_);
    if (root_update_) root_update_(old, data_);
    for (const auto& after : after_pass_) after();
}

}  // namespace app
