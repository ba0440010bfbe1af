#pragma once

#include <functional>
#include <vector>

#include "app/state.hpp"

namespace app {

// The window's data and the copy of it that the widgets last saw. Widgets change the data only in
// their event handling (a command, a click, typing) and then ask for an update pass; the pass hands
// the widget tree the old and the new data when they are not the same, so that each change is acted on
// exactly once. Both copies hold sending handles of the report channel: the host must be gone before
// the channel is drained.
class DataHost {
  public:
    // Called with the copy the widgets last saw and the current data.
    using RootUpdate = std::function<void(const ExternalUpdate& old, const ExternalUpdate& now)>;

    explicit DataHost(ExternalUpdate initial);

    [[nodiscard]] ExternalUpdate& data() { return data_; }
    [[nodiscard]] const ExternalUpdate& data() const { return data_; }

    void set_root_update(RootUpdate root_update) { root_update_ = std::move(root_update); }
    // Runs after every pass that found a change, once the step of that pass has ended, in the order
    // added: the window relays out and repaints from the new data; a close asked for during the step
    // is carried out.
    void add_after_pass(std::function<void()> after_pass) { after_pass_.push_back(std::move(after_pass)); }

    void update_pass();

  private:
    ExternalUpdate data_;
    ExternalUpdate seen_;
    RootUpdate root_update_;
    std::vector<std::function<void()>> after_pass_;
};

}  // namespace app
