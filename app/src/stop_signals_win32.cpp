#include "stop_signals.hpp"

namespace app {

// The station is a windowed program: on Windows it has no console, so no console control event (the
// counterpart of SIGINT or SIGHUP) ever reaches it, and no other process can send it one. Log-off and
// shut-down come to it through its window instead. There is nothing to watch.
StopSignals::StopSignals() = default;

StopSignals::~StopSignals() = default;

bool StopSignals::take() { return false; }

}  // namespace app
